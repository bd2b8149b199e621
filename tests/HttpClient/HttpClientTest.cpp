#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>

#include <boost/exception/diagnostic_information.hpp>

#include "HttpClient/HttpClient.h"
#include "HttpClient/HttpClientImpl.h"
#include "Shared/VeskHttpClient/HttpClientImpl.h"
#include "support/FakeHttpTransport.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

using test::Answer;
using test::Behaviour;
using test::FakeTransport;
using test::Replies;
using test::Throws;

struct Fixture {
    explicit Fixture(std::set<Proxy> proxies, std::int32_t discovery = 2, std::wstring confirmation = L"")
    {
        auto owned = std::make_unique<FakeTransport>();
        transport = owned.get();
        client = std::make_unique<HttpClient>(std::make_unique<HttpClientImpl>(
            L"kelm.example", std::move(proxies), discovery, std::move(confirmation), std::move(owned)));
    }
    FakeTransport* transport;
    std::unique_ptr<HttpClient> client;
};

const Proxy relay1(MessageRelay, "m1:8080", "", "");
const Proxy relay2(MessageRelay, "m2:8080", "", "");
const Proxy customer(Customer, "c:3128", "", "");

}  // namespace

TEST(HttpClientErrorTest, ConstructorsSetTextAndFields)
{
    const HttpClient::Error plain("Plain", true);
    EXPECT_STREQ(plain.what(), "Plain");
    EXPECT_TRUE(plain.requestSent);
    EXPECT_FALSE(plain.certificateCheckFailure);
    EXPECT_FALSE(plain.statusCode);

    const HttpClient::Error status("Bad", 404, false);
    EXPECT_STREQ(status.what(), "Bad: status code=404");
    EXPECT_EQ(status.statusCode, 404);
    EXPECT_FALSE(status.requestSent);

    const HttpClient::Error certificate("Cert");
    EXPECT_STREQ(certificate.what(), "Cert: certificate check failure");
    EXPECT_TRUE(certificate.certificateCheckFailure);
    EXPECT_FALSE(certificate.requestSent);
    EXPECT_FALSE(certificate.statusCode);
}

TEST(HttpClientErrorTest, ThrownErrorsCarryTheirSourceLocation)
{
    Fixture f({});
    try {
        f.client->httpGet(L"/x", {});
        FAIL();
    } catch (const boost::wrapexcept<HttpClient::Error>& e) {
        EXPECT_STREQ(e.what(), "Failed to connect with any proxy");
        EXPECT_NE(std::string(boost::diagnostic_information(e)).find("doAction"), std::string::npos);
    }
}

TEST(HttpClientProxyTypeTest, NamesAndUnknownType)
{
    EXPECT_STREQ(ProxyTypeName(MessageRelay), "Message Relay");
    EXPECT_STREQ(ProxyTypeName(AutoDiscovered), "Auto-Discovered");
    EXPECT_STREQ(ProxyTypeName(EmptyProxy), "Empty Proxy");
    EXPECT_THROW(ProxyTypeName(static_cast<ProxyType>(7)), std::logic_error);
}

struct SplitCase {
    const wchar_t* list;
    std::vector<std::string> addresses;
};

class SplitAutomaticProxiesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitAutomaticProxiesTest, SplitsAtSeparatorsWithoutEmptyCandidates)
{
    std::vector<std::string> addresses;
    for (const Proxy& proxy : Vesk::Http::Core::splitAutomaticProxies(TraceLogFlavour(), GetParam().list)) {
        EXPECT_EQ(proxy.type, AutoDiscovered);
        addresses.push_back(proxy.address);
    }
    EXPECT_EQ(addresses, GetParam().addresses);
}

INSTANTIATE_TEST_SUITE_P(HttpClientLists, SplitAutomaticProxiesTest,
                         ::testing::Values(SplitCase{L"a:1; b:2", {"a:1", "b:2"}},
                                           SplitCase{L";;a:1;; \tb:2 ;", {"a:1", "b:2"}},
                                           SplitCase{L"only:80", {"only:80"}},
                                           SplitCase{L" \t;", {}},
                                           SplitCase{L"", {}}));

struct OrderCase {
    std::int32_t discovery;
    std::vector<std::string> addresses;
};

class CandidateOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(CandidateOrderTest, ByTypeThenAddressWithDiscoveryAndDirectByMode)
{
    auto transport = std::make_unique<FakeTransport>();
    transport->automatic = {Proxy(AutoDiscovered, "a2:1", "", ""), Proxy(AutoDiscovered, "a1:1", "", ""),
                            Proxy(AutoDiscovered, "c:3128", "", "")};
    transport->system = Proxy(System, "s:1;t:2", "", "");
    HttpClientImpl impl(L"kelm.example", {customer, relay2, relay1}, GetParam().discovery, L"", std::move(transport));
    std::vector<std::string> addresses;
    for (const Proxy& proxy : impl.orderProxyCandidates())
        addresses.push_back(proxy.address);
    EXPECT_EQ(addresses, GetParam().addresses);
}

INSTANTIATE_TEST_SUITE_P(
    HttpClientModes, CandidateOrderTest,
    ::testing::Values(OrderCase{0, {"m1:8080", "m2:8080", "c:3128", "s:1;t:2", "a1:1", "a2:1", "c:3128", ""}},
                      OrderCase{1, {"m1:8080", "m2:8080", "c:3128", ""}},
                      OrderCase{2, {"m1:8080", "m2:8080", "c:3128"}},
                      OrderCase{-1, {"m1:8080", "m2:8080", "c:3128"}}));

TEST(HttpClientTest, AutomaticDiscoveryAsksForTheHostsHttpsUrl)
{
    Fixture f({}, 0);
    f.transport->behaviours[""] = Replies(200);
    f.client->httpGet(L"/x", {});
    EXPECT_THAT(f.transport->discoveryUrls, ElementsAre(L"https://kelm.example/"));
}

TEST(HttpClientTest, DirectOnlyWithDiscoveryOneAndNoProxies)
{
    Fixture f({}, 1);
    f.transport->behaviours[""] = Replies(200, "body");
    EXPECT_EQ(f.client->httpPost(L"/p", {}, "data"), "body");
    EXPECT_THAT(f.transport->opened, ElementsAre(""));
}

TEST(HttpClientTest, NoCandidatesFailsAtOnce)
{
    Fixture f({}, 2);
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { f.client->httpGet(L"/x", {}); });
    EXPECT_STREQ(e.what(), "Failed to connect with any proxy");
    EXPECT_FALSE(e.requestSent);
    EXPECT_FALSE(e.certificateCheckFailure);
    EXPECT_THAT(f.transport->opened, IsEmpty());
}

struct StatusCase {
    int status;
    bool requestSent;
    std::vector<std::string> opened;
};

class BadStatusTest : public ::testing::TestWithParam<StatusCase> {};

// Only a server that saw the request keeps its answer from reaching the next candidate.
TEST_P(BadStatusTest, StatusOtherThan200FailsWithItsCode)
{
    Fixture f({relay1, customer}, 2);
    f.transport->behaviours["m1:8080"] = Replies(GetParam().status, "", GetParam().requestSent);
    f.transport->behaviours["c:3128"] = Replies(GetParam().status, "", GetParam().requestSent);
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { f.client->httpGet(L"/x", {}); });
    if (GetParam().requestSent) {
        EXPECT_EQ(std::string(e.what()), "Bad response from new connection: status code=" + std::to_string(GetParam().status));
        EXPECT_EQ(e.statusCode, GetParam().status);
        EXPECT_TRUE(e.requestSent);
    } else {
        EXPECT_STREQ(e.what(), "Failed to connect with any proxy");
    }
    EXPECT_EQ(f.transport->opened, GetParam().opened);
}

INSTANTIATE_TEST_SUITE_P(HttpClientStatuses, BadStatusTest,
                         ::testing::Values(StatusCase{404, true, {"m1:8080"}}, StatusCase{204, true, {"m1:8080"}},
                                           StatusCase{201, true, {"m1:8080"}},
                                           StatusCase{502, false, {"m1:8080", "c:3128"}}));

struct FailureCase {
    const char* name;
    Behaviour first;
    bool secondTried;
};

class CandidateFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CandidateFailureTest, MovesOnUnlessTheRequestWasSent)
{
    Fixture f({relay1, customer}, 2);
    f.transport->behaviours["m1:8080"] = GetParam().first;
    f.transport->behaviours["c:3128"] = Replies(200, "second");
    if (GetParam().secondTried) {
        EXPECT_EQ(f.client->httpGet(L"/x", {}), "second");
        EXPECT_THAT(f.transport->opened, ElementsAre("m1:8080", "c:3128"));
    } else {
        EXPECT_THROW(f.client->httpGet(L"/x", {}), HttpClient::Error);
        EXPECT_THAT(f.transport->opened, ElementsAre("m1:8080"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    HttpClientFailures, CandidateFailureTest,
    ::testing::Values(FailureCase{"NotSent", Throws(HttpClient::Error("WinHttpSendRequest failed", false)), true},
                      FailureCase{"Certificate", Throws(HttpClient::Error("WinHttpSendRequest failed")), true},
                      FailureCase{"OtherException", Throws(std::runtime_error("boom")), true},
                      FailureCase{"Sent", Throws(HttpClient::Error("WinHttpReceiveResponse failed", true)), false},
                      FailureCase{"ProxyAuthWithoutCredentialsNotSent", Replies(407, "", false), true},
                      FailureCase{"ProxyAuthWithoutCredentialsSent", Replies(407, "", true), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpClientTest, CertificateFailureOnAnyCandidateMarksTheFinalError)
{
    Fixture f({relay1, customer}, 2);
    f.transport->behaviours["m1:8080"] = Throws(HttpClient::Error("WinHttpSendRequest failed"));
    f.transport->behaviours["c:3128"] = Throws(HttpClient::Error("WinHttpConnect failed: 5", false));
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { f.client->httpGet(L"/x", {}); });
    EXPECT_STREQ(e.what(), "Failed to connect with any proxy: certificate check failure");
    EXPECT_TRUE(e.certificateCheckFailure);
    EXPECT_FALSE(e.requestSent);
    EXPECT_FALSE(f.transport->live);
}

TEST(HttpClientTest, ProxyAuthenticationWithoutCredentialsNamesTheProxy)
{
    Fixture f({customer}, 2);
    f.transport->behaviours["c:3128"] = Replies(407, "", true);
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { f.client->httpGet(L"/x", {}); });
    EXPECT_STREQ(e.what(), "Credentials were not provided to authenticate with proxy:c:3128");
    EXPECT_TRUE(e.requestSent);
    EXPECT_FALSE(e.statusCode);
}

TEST(HttpClientTest, ProxyAuthenticationRetriesTheSameRequestWithCredentials)
{
    Fixture f({Proxy(Customer, "c:3128", "user", "pass\xC3\xA9")}, 2);
    f.transport->behaviours["c:3128"] = [](const std::wstring&, bool authenticated) {
        return authenticated ? Answer(200, "in") : Answer(407);
    };
    EXPECT_EQ(f.client->httpGet(L"/x", {}), "in");
    EXPECT_THAT(f.transport->credentials, ElementsAre(L"user:pass\u00e9"));
    EXPECT_THAT(f.transport->requests, ElementsAre("c:3128 /x", "c:3128 /x"));
}

TEST(HttpClientTest, LiveConnectionIsReusedAndItsProxyTriedFirstAfterAFailure)
{
    Fixture f({relay1, customer}, 2);
    f.transport->behaviours["m1:8080"] = Throws(std::runtime_error("down"));
    f.transport->behaviours["c:3128"] = Replies(200, "one");
    EXPECT_EQ(f.client->httpGet(L"/1", {}), "one");
    EXPECT_EQ(f.client->httpGet(L"/2", {}), "one");
    EXPECT_THAT(f.transport->opened, ElementsAre("m1:8080", "c:3128"));

    // A reuse that fails before the server saw it falls back, starting with the same proxy.
    int calls = 0;
    f.transport->behaviours["c:3128"] = [&](const std::wstring&, bool) {
        if (calls++ == 0)
            throw HttpClient::Error("WinHttpSendRequest failed", false);
        return Answer(200, "again");
    };
    EXPECT_EQ(f.client->httpGet(L"/3", {}), "again");
    EXPECT_THAT(f.transport->opened, ElementsAre("m1:8080", "c:3128", "c:3128"));
}

TEST(HttpClientTest, BadStatusOnLiveConnectionGoesToTheCaller)
{
    Fixture f({relay1, customer}, 2);
    f.transport->behaviours["m1:8080"] = Replies(200);
    f.client->httpGet(L"/1", {});
    f.transport->behaviours["m1:8080"] = Replies(500);
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { f.client->httpGet(L"/2", {}); });
    EXPECT_STREQ(e.what(), "Bad response from existing connection: status code=500");
    EXPECT_EQ(e.statusCode, 500);
    EXPECT_THAT(f.transport->opened, ElementsAre("m1:8080"));
}

TEST(HttpClientTest, ConfirmationRequestChoosesTheCandidate)
{
    Fixture f({relay1, customer}, 2, L"/ping");
    f.transport->behaviours["m1:8080"] = Replies(403, "", true);
    f.transport->behaviours["c:3128"] = [](const std::wstring& path, bool) {
        return Answer(200, path == L"/ping" ? "pong" : "real");
    };
    EXPECT_EQ(f.client->httpPut(L"/data", {}, "x"), "real");
    EXPECT_THAT(f.transport->requests, ElementsAre("m1:8080 /ping", "c:3128 /ping", "c:3128 /data"));
}

TEST(HttpClientTest, UserAgentCarriesTheProgramsFileVersion)
{
    EXPECT_TRUE(std::regex_match(HttpClientUserAgent(), std::wregex(L"Halvex Cloud Installer/\\d+\\.\\d+\\.\\d+\\.\\d+")))
        << std::string(HttpClientUserAgent().begin(), HttpClientUserAgent().end());
}

// Real WinHTTP against loopback with nothing listening on port 443: every candidate fails before
// a request is sent, so the error is the plain "any proxy" one.
TEST(HttpClientWinHttpTest, NothingListeningFailsEveryCandidateWithoutSending)
{
    for (std::int32_t discovery : {0, 1}) {
        HttpClient client(L"localhost", {Proxy(Customer, "127.0.0.1:9", "", "")}, discovery);
        const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { client.httpGet(L"/x", {HttpHeader(L"X-Test", L"1")}); });
        EXPECT_STREQ(e.what(), "Failed to connect with any proxy") << discovery;
        EXPECT_FALSE(e.requestSent);
        EXPECT_FALSE(e.certificateCheckFailure);
        EXPECT_FALSE(e.statusCode);
    }
}

// The two clients share one engine; these are the points where they must stay apart.
TEST(HttpClientTest, DiffersFromTheOtherClientWhereItShould)
{
    const Vesk::Http::Core::Flavour& installer = TraceLogFlavour();
    const Vesk::Http::Core::Flavour& vesk = Vesk::Http::VeskFlavour();
    for (int status : {200, 201, 204, 299}) {
        EXPECT_EQ(installer.isGoodStatus(status), status == 200) << status;
        EXPECT_TRUE(vesk.isGoodStatus(status)) << status;
    }
    for (int status : {199, 300, 404})
        EXPECT_FALSE(installer.isGoodStatus(status) || vesk.isGoodStatus(status)) << status;
    EXPECT_EQ(installer.securityProtocolText(0x80), "00000080");
    EXPECT_EQ(vesk.securityProtocolText(0x80), "128");
    EXPECT_FALSE(installer.readsResponseHeaders());
    EXPECT_TRUE(vesk.readsResponseHeaders());
    EXPECT_TRUE(installer.fileCheckRules().checksCrlTimeValidity);
    EXPECT_FALSE(vesk.fileCheckRules().checksCrlTimeValidity);
}
