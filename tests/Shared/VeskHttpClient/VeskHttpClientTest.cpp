// The Vesk::Http client over a fake transport: what callers see of its rules.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/exception/diagnostic_information.hpp>

#include "Shared/VeskHttpClient/HttpClient.h"
#include "Shared/VeskHttpClient/HttpClientImpl.h"
#include "Shared/VeskHttpClient/HttpRequest.h"
#include "support/CapturingLogger.h"
#include "support/FakeHttpTransport.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using test::Answer;
using test::FakeTransport;
using test::Replies;
using test::Throws;
using Vesk::Http::HttpClient;
using Vesk::Http::HttpClientImpl;

namespace {

using Headers = std::map<std::wstring, std::wstring>;

struct Fixture {
    explicit Fixture(std::set<Proxy> proxies, std::int32_t discovery = 2, std::wstring confirmation = L"")
    {
        auto owned = std::make_unique<FakeTransport>();
        transport = owned.get();
        client = std::make_unique<HttpClient>(std::make_unique<HttpClientImpl>(
            L"s.example", std::move(proxies), discovery, std::move(confirmation), std::move(owned)));
    }
    FakeTransport* transport;
    std::unique_ptr<HttpClient> client;
};

const Proxy relay(MessageRelay, "m:8080", "", "");
const Proxy customer(Customer, "c:3128", "", "");

}  // namespace

TEST(VeskHttpClientErrorTest, ConstructorsSetTextAndFields)
{
    const HttpClient::Error plain("Plain", true);
    EXPECT_STREQ(plain.what(), "Plain");
    EXPECT_TRUE(plain.requestSent);
    EXPECT_FALSE(plain.certificateCheckFailure);
    EXPECT_FALSE(plain.statusCode);
    EXPECT_FALSE(plain.headers);
    EXPECT_FALSE(plain.body);

    const HttpClient::Error certificate("Cert");
    EXPECT_STREQ(certificate.what(), "Cert: certificate check failure");
    EXPECT_TRUE(certificate.certificateCheckFailure);
    EXPECT_FALSE(certificate.requestSent);
    EXPECT_FALSE(certificate.statusCode);

    const HttpClient::Error status("Bad", 404, true, {{L"X-Reason", L"gone"}}, "not here");
    EXPECT_STREQ(status.what(), "Bad: status code=404");
    EXPECT_EQ(status.statusCode, 404);
    EXPECT_TRUE(status.requestSent);
    EXPECT_EQ(status.headers, (Headers{{L"X-Reason", L"gone"}}));
    EXPECT_EQ(status.body, "not here");
}

struct StatusCase {
    int status;
    bool good;
};

void PrintTo(const StatusCase& c, std::ostream* os)
{
    *os << c.status;
}

class VeskStatusTest : public ::testing::TestWithParam<StatusCase> {};

// Any 2xx is a success; everything else fails with its status, headers and body, and a server
// that saw the request is not asked again through the next candidate.
TEST_P(VeskStatusTest, TwoHundredsSucceedOthersCarryTheResponse)
{
    Fixture f({relay, customer});
    f.transport->behaviours["m:8080"] = [](const std::wstring&, bool) {
        return Answer(GetParam().status, "reply", true, {{L"Retry-After", L"5"}});
    };
    f.transport->behaviours["c:3128"] = Replies(200, "second");
    if (GetParam().good) {
        const Vesk::Http::HttpResponse response = f.client->httpPostWithResponse(L"p", {}, "x");
        EXPECT_EQ(response.body, "reply");
        EXPECT_EQ(response.statusCode, GetParam().status);
        return;
    }
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { f.client->httpGet(L"g", {}); });
    EXPECT_EQ(std::string(e.what()), "Bad response from new connection: status code=" + std::to_string(GetParam().status));
    EXPECT_EQ(e.statusCode, GetParam().status);
    EXPECT_TRUE(e.requestSent);
    EXPECT_EQ(e.headers, (Headers{{L"Retry-After", L"5"}}));
    EXPECT_EQ(e.body, "reply");
    EXPECT_THAT(f.transport->opened, ElementsAre("m:8080"));
}

INSTANTIATE_TEST_SUITE_P(VeskStatuses, VeskStatusTest,
                         ::testing::Values(StatusCase{200, true}, StatusCase{201, true}, StatusCase{204, true},
                                           StatusCase{299, true}, StatusCase{199, false}, StatusCase{300, false},
                                           StatusCase{302, false}, StatusCase{404, false}, StatusCase{500, false}),
                         [](const auto& info) { return std::to_string(info.param.status); });

TEST(VeskHttpClientTest, VerbsBodiesAndEmptyBodies)
{
    Fixture f({}, 1);
    f.transport->behaviours[""] = Replies(204);
    EXPECT_EQ(f.client->httpGet(L"g", {}), "");
    EXPECT_EQ(f.client->httpDelete(L"d", {}), "");
    EXPECT_EQ(f.client->httpPut(L"u", {}, "put"), "");
    EXPECT_EQ(f.client->httpPost(L"p", {}, "post"), "");
    EXPECT_THAT(f.transport->verbs, ElementsAre(L"GET", L"DELETE", L"PUT", L"POST"));
    EXPECT_THAT(f.transport->bodies, ElementsAre("", "", "put", "post"));
    // One direct candidate, and the second to fourth requests went out on its live connection.
    EXPECT_THAT(f.transport->opened, ElementsAre(""));
}

TEST(VeskHttpClientTest, BadStatusOnTheLiveConnectionKeepsItsResponse)
{
    Fixture f({relay});
    f.transport->behaviours["m:8080"] = Replies(200);
    f.client->httpGet(L"1", {});
    f.transport->behaviours["m:8080"] = [](const std::wstring&, bool) {
        return Answer(503, "busy", true, {{L"Retry-After", L"9"}});
    };
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { f.client->httpGet(L"2", {}); });
    EXPECT_STREQ(e.what(), "Bad response from existing connection: status code=503");
    EXPECT_EQ(e.body, "busy");
    EXPECT_EQ(e.headers, (Headers{{L"Retry-After", L"9"}}));
}

// The file-checked clients prove each new connection with a GET of "status" first; a candidate
// whose confirmation fails is passed over.
TEST(VeskHttpClientTest, ConfirmationGetBeforeTheRealRequest)
{
    Fixture f({relay, customer}, 2, L"status");
    f.transport->behaviours["m:8080"] = Replies(503);
    f.transport->behaviours["c:3128"] = [](const std::wstring& path, bool) {
        return Answer(200, path == L"status" ? "ok" : "real");
    };
    EXPECT_EQ(f.client->httpPost(L"report", {}, "data"), "real");
    EXPECT_THAT(f.transport->requests, ElementsAre("m:8080 status", "c:3128 status", "c:3128 report"));
    EXPECT_THAT(f.transport->verbs, ElementsAre(L"GET", L"GET", L"POST"));

    // A live connection is not proven again.
    EXPECT_EQ(f.client->httpGet(L"again", {}), "real");
    EXPECT_EQ(f.transport->requests.back(), "c:3128 again");
}

// Nothing sets requestSent when nobody judges the certificate: a bad status then moves on and
// the call ends with the plain "any proxy" failure.
TEST(VeskHttpClientTest, UnsentBadStatusMovesOnToTheNextCandidate)
{
    Fixture f({relay, customer});
    f.transport->behaviours["m:8080"] = Replies(404, "", false);
    f.transport->behaviours["c:3128"] = Replies(404, "", false);
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { f.client->httpGet(L"x", {}); });
    EXPECT_STREQ(e.what(), "Failed to connect with any proxy");
    EXPECT_FALSE(e.statusCode);
    EXPECT_THAT(f.transport->opened, ElementsAre("m:8080", "c:3128"));
}

TEST(VeskHttpClientTest, ProxyAuthenticationAndCertificateFailures)
{
    Fixture withoutPassword({Proxy(Customer, "c:3128", "user", "")});
    withoutPassword.transport->behaviours["c:3128"] = Replies(407, "", true);
    EXPECT_STREQ(test::CaughtError<HttpClient::Error>([&] { withoutPassword.client->httpGet(L"x", {}); }).what(),
                 "Credentials were not provided to authenticate with proxy:c:3128");

    Fixture withCredentials({Proxy(Customer, "c:3128", "user", "secret")});
    withCredentials.transport->behaviours["c:3128"] = [](const std::wstring&, bool authenticated) {
        return authenticated ? Answer(201, "in") : Answer(407);
    };
    EXPECT_EQ(withCredentials.client->httpGet(L"x", {}), "in");
    EXPECT_THAT(withCredentials.transport->credentials, ElementsAre(L"user:secret"));

    Fixture refused({relay, customer});
    refused.transport->behaviours["m:8080"] = Throws(HttpClient::Error("WinHttpSendRequest failed"));
    refused.transport->behaviours["c:3128"] = Throws(std::logic_error("Unexpected CertificateCheck value"));
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { refused.client->httpGet(L"x", {}); });
    EXPECT_STREQ(e.what(), "Failed to connect with any proxy: certificate check failure");
    EXPECT_TRUE(e.certificateCheckFailure);
}

TEST(VeskHttpClientTest, ErrorsArriveWrappedWithTheThrowersLocation)
{
    Fixture f({}, 2);
    try {
        f.client->httpGet(L"x", {});
        FAIL() << "no exception";
    } catch (const boost::wrapexcept<HttpClient::Error>& e) {
        EXPECT_STREQ(e.what(), "Failed to connect with any proxy");
        EXPECT_THAT(boost::diagnostic_information(e), HasSubstr("doAction"));
    }
}

TEST(VeskHttpClientTest, LogsGoToTheInHouseLoggerOnly)
{
    test::CapturingLogger logger;
    Fixture f({}, 1);
    f.transport->behaviours[""] = Replies(200);
    f.client->httpGet(L"config/x.json", {});
    EXPECT_THAT(logger.Texts(halvlib::logging::Debug), ElementsAre("Sending HTTP 'GET' request to: config/x.json"));
    EXPECT_THAT(logger.Texts(halvlib::logging::Info),
                ElementsAre("Attempting to connect using proxy '' of type 'Empty Proxy'.",
                            "trySendRequestThroughPotentialProxy returning response with status code: 200"));
}

struct HeaderCase {
    const wchar_t* raw;
    Headers headers;
};

void PrintTo(const HeaderCase& c, std::ostream* os)
{
    *os << WideToUtf8(c.raw).size() << " bytes";
}

class RawHeadersTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(RawHeadersTest, NamesAndValuesTrimmedLaterLinesWin)
{
    EXPECT_EQ(Vesk::Http::parseRawHeaders(GetParam().raw), GetParam().headers);
}

INSTANTIATE_TEST_SUITE_P(
    VeskHeaders, RawHeadersTest,
    ::testing::Values(
        HeaderCase{L"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", {{L"Content-Length", L"5"}}},
        HeaderCase{L"HTTP/1.1 404 Not Found\r\n  X-A \t:  one  \r\nLocation: https://h:8443/p\r\n\r\n",
                   {{L"X-A", L"one"}, {L"Location", L"https://h:8443/p"}}},
        HeaderCase{L"HTTP/1.1 200 OK\r\nX-A: 1\r\nX-A: 2\nX-B:\r\n", {{L"X-A", L"2"}, {L"X-B", L""}}},
        HeaderCase{L"", {}}, HeaderCase{L"HTTP/1.1 204 No Content\r\n\r\n", {}}));
