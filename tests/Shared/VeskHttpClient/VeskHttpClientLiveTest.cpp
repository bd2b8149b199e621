// Requests of the Vesk::Http client against the servers that live_vesk_test.py starts on loopback:
// localhost:443 and a twin on another port, whose authority is in the Root store; a server of an
// authority nobody trusts; a self-signed server; a server with an expired certificate; a CONNECT
// proxy to the 443 server. The servers count the paths they are asked for ("count/PATH"), a request
// with the header X-Halvex-Tag apart from the others ("count/TAG/PATH").
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "halvlib/String.h"
#include "Shared/VeskHttpClient/HttpClient.h"
#include "support/CapturingLogger.h"

using namespace Vesk::Http;
using testing::Contains;
using testing::ElementsAre;
using testing::StartsWith;

namespace {

const std::wstring agent = L"Halvex Vesk Live Test/2.5";

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        ADD_FAILURE() << "environment variable missing: " << WideToUtf8(name);
    return value;
}

std::uint16_t Port(const wchar_t* name)
{
    return static_cast<std::uint16_t>(std::stoi(Environment(name)));
}

std::wstring TestFile(const std::wstring& name)
{
    return Environment(L"HALVEX_TEST_CERTIFICATES") + L"\\" + name;
}

std::vector<std::wstring> TestFiles(const std::vector<std::wstring>& names)
{
    std::vector<std::wstring> paths;
    for (const std::wstring& name : names)
        paths.push_back(TestFile(name));
    return paths;
}

// Wine's WinHTTP refuses an untrusted server without the secure-failure notification.
bool RunningUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

HttpClientFactory factory;

// The system store judges localhost:443.
std::shared_ptr<IHttpClient> TrustedClient()
{
    return factory.createClient(L"localhost", agent);
}

// How often the servers were asked for the path so far.
int Requests(const std::wstring& path)
{
    return std::stoi(TrustedClient()->httpGet(L"count/" + path, {}));
}

// A client as the factory makes them, on the port that the variable names.
std::shared_ptr<IHttpClient> ClientOnPort(const wchar_t* portVariable, CertificateCheck check,
                                          const CertificateFiles& files = {}, const std::wstring& confirmation = L"")
{
    return std::make_shared<HttpClient>(L"localhost", agent, files.certificateFiles, files.crlFiles, check,
                                        std::set<Proxy>{}, 0, confirmation, true, Port(portVariable));
}

// The header that keeps a test's requests apart in the servers' counts.
std::vector<HttpHeader> Tagged(const std::wstring& tag, std::vector<HttpHeader> headers = {})
{
    headers.emplace_back(L"X-Halvex-Tag", tag);
    return headers;
}

std::optional<HttpClient::Error> Failure(const std::function<void()>& call)
{
    try {
        call();
    } catch (const HttpClient::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no HttpClient::Error";
    return std::nullopt;
}

std::vector<std::string> LoggedLines(test::CapturingLogger& log)
{
    std::vector<std::string> lines;
    for (const auto& entry : log.Entries())
        lines.push_back(entry.second);
    return lines;
}

// ---- The system store judges the server

TEST(VeskHttpClientLive, EachVerbReachesTheServerWithItsBody)
{
    const std::shared_ptr<IHttpClient> client = TrustedClient();
    EXPECT_EQ(client->httpGet(L"echo", {HttpHeader(L"Accept", L"text/plain")}), "GET /echo");
    EXPECT_EQ(client->httpPost(L"echo", {HttpHeader(L"Content-Type", L"application/json; charset=utf-8")},
                               "{\"report\":\"installed\"}"),
              "POST application/json; charset=utf-8 {\"report\":\"installed\"}");
    EXPECT_EQ(client->httpPut(L"echo", {}, "state=2"), "PUT state=2");
    EXPECT_EQ(client->httpDelete(L"echo", {}), "DELETE /echo");
}

TEST(VeskHttpClientLive, PostWithResponseReturnsEveryGoodStatusWithItsBody)
{
    struct Case {
        const wchar_t* path;
        int status;
        const char* body;
    };
    for (const Case& c : {Case{L"created", 201, "created {\"id\":7}"}, Case{L"no-content", 204, ""},
                          Case{L"echo", 200, "POST  {\"id\":7}"}}) {
        const HttpResponse response = TrustedClient()->httpPostWithResponse(c.path, {}, "{\"id\":7}");
        EXPECT_EQ(response.statusCode, c.status) << WideToUtf8(c.path);
        EXPECT_EQ(response.body, c.body) << WideToUtf8(c.path);
    }
}

TEST(VeskHttpClientLive, SendsTheUserAgentThatTheCallerChose)
{
    for (const std::wstring& userAgent : {std::wstring(L"Halvex Kelm/1.20.627.0"), agent})
        EXPECT_EQ(factory.createClient(L"localhost", userAgent)->httpGet(L"agent", {}), WideToUtf8(userAgent));
}

TEST(VeskHttpClientLive, ConnectsToTheClientsPortOrTheDefault)
{
    EXPECT_EQ(TrustedClient()->httpGet(L"port", {}), "443");
    const std::uint16_t port = Port(L"HALVEX_VESK_TRUSTED_PORT");
    EXPECT_EQ(ClientOnPort(L"HALVEX_VESK_TRUSTED_PORT", CertificateCheck::RecordSystemStore)->httpGet(L"port", {}),
              std::to_string(port));
}

// The server answered, so the error carries its answer and no other candidate is tried; a client
// that already has a connection sends on it.
TEST(VeskHttpClientLive, BadStatusCarriesTheResponse)
{
    struct Case {
        bool connected;
        const char* text;
    };
    for (const Case& c : {Case{false, "Bad response from new connection: status code=404"},
                          Case{true, "Bad response from existing connection: status code=404"}}) {
        const std::shared_ptr<IHttpClient> client = TrustedClient();
        if (c.connected) {
            ASSERT_EQ(client->httpGet(L"echo", {}), "GET /echo");
        }
        const int before = Requests(L"missing");
        const std::optional<HttpClient::Error> e = Failure([&] { client->httpGet(L"missing", {}); });
        ASSERT_TRUE(e);
        EXPECT_STREQ(e->what(), c.text);
        EXPECT_EQ(e->statusCode, 404);
        EXPECT_TRUE(e->requestSent);
        EXPECT_FALSE(e->certificateCheckFailure);
        ASSERT_TRUE(e->headers);
        EXPECT_EQ(e->headers->count(L"X-Halvex-Reason") ? e->headers->at(L"X-Halvex-Reason") : L"",
                  L"no such page");
        EXPECT_EQ(e->body, std::optional<std::string>("not found: /missing"));
        EXPECT_EQ(Requests(L"missing"), before + 1) << c.text;
    }
}

TEST(VeskHttpClientLive, ServerOfAnUntrustedAuthorityNeverSeesTheRequest)
{
    const std::shared_ptr<IHttpClient> client =
        ClientOnPort(L"HALVEX_VESK_UNTRUSTED_PORT", CertificateCheck::RecordSystemStore);
    const std::optional<HttpClient::Error> e = Failure([&] { client->httpGet(L"untrusted", {}); });
    ASSERT_TRUE(e);
    EXPECT_THAT(e->what(), StartsWith("Failed to connect with any proxy"));
    EXPECT_FALSE(e->statusCode);
    EXPECT_FALSE(e->requestSent);
    EXPECT_FALSE(e->headers);
    // Windows reports the refusal through the secure-failure notification; Wine fails the send
    // with a secure-channel error and nothing tells the client that the certificate was the cause.
    EXPECT_EQ(e->certificateCheckFailure, !RunningUnderWine()) << e->what();
    EXPECT_EQ(Requests(L"untrusted"), 0);
}

// ---- Nobody judges the server

TEST(VeskHttpClientLive, IgnoringCertificateErrorsReachesASelfSignedServer)
{
    const std::shared_ptr<IHttpClient> client =
        ClientOnPort(L"HALVEX_VESK_SELF_SIGNED_PORT", CertificateCheck::IgnoreErrors);
    EXPECT_EQ(client->httpGet(L"echo", {}), "GET /echo");
    const HttpResponse response = client->httpPostWithResponse(L"created", {}, "x");
    EXPECT_EQ(response.statusCode, 201);
    EXPECT_EQ(response.body, "created x");
}

// Nothing marks the request as sent in this mode, so even the server's own answer only ends the
// candidate: the call fails as if no connection had been made.
TEST(VeskHttpClientLive, IgnoringCertificateErrorsTurnsABadStatusIntoNoConnection)
{
    const std::shared_ptr<IHttpClient> client =
        ClientOnPort(L"HALVEX_VESK_SELF_SIGNED_PORT", CertificateCheck::IgnoreErrors);
    const int before = Requests(L"ignored-missing");
    const std::optional<HttpClient::Error> e = Failure([&] { client->httpGet(L"ignored-missing", {}); });
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->what(), "Failed to connect with any proxy");
    EXPECT_FALSE(e->requestSent);
    EXPECT_FALSE(e->statusCode);
    EXPECT_FALSE(e->headers);
    EXPECT_FALSE(e->body);
    EXPECT_FALSE(e->certificateCheckFailure);
    EXPECT_EQ(Requests(L"ignored-missing"), before + 1);  // the server did answer, once
}

// ---- The caller's files judge the server

struct FileCase {
    const char* name;
    std::vector<std::wstring> certificates;
    std::vector<std::wstring> crls;
    const wchar_t* portVariable;  // null: the factory's client on 443
    std::vector<std::string> lines;  // logged on the way
};

std::shared_ptr<IHttpClient> FileCheckedClient(const FileCase& c)
{
    const CertificateFiles files{TestFiles(c.certificates), TestFiles(c.crls)};
    if (c.portVariable == nullptr)
        return factory.createClient(L"localhost", agent, files);
    return ClientOnPort(c.portVariable, CertificateCheck::ValidateFile, files, L"status");
}

TEST(VeskHttpClientLive, FileCheckAcceptsAServerThatAGivenCertificateSigned)
{
    const std::vector<FileCase> cases = {
        {"its authority and CRL", {L"trusted-ca.der"}, {L"trusted-good.crl"}, nullptr,
         {"Validating with cert 1: Halvex Vesk Test trusted"}},
        {"its authority second", {L"other-ca.der", L"trusted-ca.der"}, {L"other-good.crl", L"trusted-good.crl"},
         nullptr, {"Validating with cert 2: Halvex Vesk Test trusted"}},
        // Serial numbers are per issuer: another authority's CRL of the same number revokes nothing here.
        {"same serial revoked by another", {L"trusted-ca.der"}, {L"other-same-serial.crl", L"trusted-good.crl"},
         nullptr, {}},
        {"same serial revoked by another in the files", {L"other-ca.der", L"trusted-ca.der"},
         {L"other-same-serial.crl", L"trusted-good.crl"}, nullptr, {}},
    };
    for (const FileCase& c : cases) {
        test::CapturingLogger log;
        try {
            EXPECT_EQ(FileCheckedClient(c)->httpGet(L"agent", {}), WideToUtf8(agent)) << c.name;
        } catch (const std::exception& e) {
            ADD_FAILURE() << c.name << ": " << e.what();
            continue;
        }
        for (const std::string& line : c.lines)
            EXPECT_THAT(LoggedLines(log), Contains(line)) << c.name;
        EXPECT_THAT(LoggedLines(log), Contains("Certificate check succeeded")) << c.name;
    }
}

TEST(VeskHttpClientLive, FileCheckRefusesAServerBeforeAnythingIsSent)
{
    const std::vector<FileCase> cases = {
        {"revoked", {L"trusted-ca.der"}, {L"trusted-revoked.crl"}, nullptr,
         {"Certificate was revoked: Halvex Vesk Test trusted"}},
        {"revoked, its authority second", {L"other-ca.der", L"trusted-ca.der"},
         {L"other-good.crl", L"trusted-revoked.crl"}, nullptr, {"Certificate was revoked: Halvex Vesk Test trusted"}},
        {"another authority", {L"other-ca.der"}, {L"other-good.crl"}, nullptr,
         {"Subject certificate failed validation against root CA: Halvex Vesk Test other"}},
        {"PEM CRL only", {L"trusted-ca.der"}, {L"trusted-good.pem"}, nullptr,
         {"Ignoring PEM encoded CRL: " + WideToUtf8(TestFile(L"trusted-good.pem")),
          "No CRL for certificate root: Halvex Vesk Test trusted"}},
        {"no CRL", {L"trusted-ca.der"}, {}, nullptr, {"No CRL for certificate root: Halvex Vesk Test trusted"}},
        {"no certificate files", {}, {L"trusted-good.crl"}, nullptr,
         {"Cannot use file cert store without any certificates."}},
        {"no files", {}, {}, nullptr, {"Cannot use file cert store without any certificates."}},
        {"expired", {L"trusted-ca.der"}, {L"trusted-good.crl"}, L"HALVEX_VESK_EXPIRED_PORT",
         {"Subject certificate failed time validity check: Halvex Vesk Test trusted"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const FileCase& c = cases[i];
        const std::wstring tag = L"refused-" + std::to_wstring(i);
        const std::shared_ptr<IHttpClient> client = FileCheckedClient(c);
        test::CapturingLogger log;
        const std::optional<HttpClient::Error> e = Failure([&] { client->httpGet(L"refused", Tagged(tag)); });
        ASSERT_TRUE(e) << c.name;
        EXPECT_STREQ(e->what(), "Failed to connect with any proxy: certificate check failure") << c.name;
        EXPECT_TRUE(e->certificateCheckFailure) << c.name;
        EXPECT_FALSE(e->requestSent) << c.name;
        EXPECT_FALSE(e->statusCode) << c.name;
        for (const std::string& line : c.lines)
            EXPECT_THAT(LoggedLines(log), Contains(line)) << c.name;
        EXPECT_THAT(LoggedLines(log), Contains("Terminating http connection.")) << c.name;
        EXPECT_EQ(Requests(tag + L"/refused"), 0) << c.name;
        // Closing the request in the sending-request notification keeps Windows from sending the
        // confirmation; Wine sends it all the same (and the server may count it late).
        if (!RunningUnderWine()) {
            EXPECT_EQ(Requests(tag + L"/status"), 0) << c.name;
        }
    }
}

// Each new connection of a file-checked client is proven with a GET of "status" first; requests
// on a live connection are not.
TEST(VeskHttpClientLive, FileCheckedConnectionsAreConfirmedFirst)
{
    const FileCase accepted{"accepted", {L"trusted-ca.der"}, {L"trusted-good.crl"}, nullptr, {}};
    const std::vector<HttpHeader> tagged = Tagged(L"confirmed");
    const std::shared_ptr<IHttpClient> client = FileCheckedClient(accepted);
    EXPECT_EQ(client->httpGet(L"count/confirmed/status", tagged), "1");
    EXPECT_EQ(client->httpGet(L"count/confirmed/status", tagged), "1");
    EXPECT_EQ(FileCheckedClient(accepted)->httpGet(L"count/confirmed/status", tagged), "2");
}

// The confirmation carries the caller's headers; when it fails, the real request is never sent.
TEST(VeskHttpClientLive, FailedConfirmationLeavesTheRequestUnsent)
{
    const FileCase accepted{"accepted", {L"trusted-ca.der"}, {L"trusted-good.crl"}, nullptr, {}};
    const std::shared_ptr<IHttpClient> client = FileCheckedClient(accepted);
    const std::optional<HttpClient::Error> e = Failure(
        [&] { client->httpGet(L"unconfirmed", Tagged(L"unconfirmed", {HttpHeader(L"X-Halvex-Refuse-Status", L"1")})); });
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->what(), "Failed to connect with any proxy");
    EXPECT_FALSE(e->requestSent);
    EXPECT_FALSE(e->statusCode);
    EXPECT_FALSE(e->certificateCheckFailure);
    EXPECT_EQ(Requests(L"unconfirmed/status"), 1);
    EXPECT_EQ(Requests(L"unconfirmed/unconfirmed"), 0);
}

// ---- Proxies

// A dead message relay comes first and is skipped; with discovery 2 there is no direct candidate,
// and the server sees the request arrive through the proxy's tunnel.
TEST(VeskHttpClientLive, ThroughAConfiguredProxyWithoutDirectConnection)
{
    const std::string refused = "127.0.0.1:" + std::to_string(Port(L"HALVEX_VESK_REFUSED_PORT"));
    const std::string proxy = "127.0.0.1:" + std::to_string(Port(L"HALVEX_VESK_PROXY_PORT"));
    ASSERT_EQ(TrustedClient()->httpGet(L"via-proxy", {}), "direct");

    test::CapturingLogger log;
    const std::shared_ptr<IHttpClient> client = factory.createClient(
        L"localhost", agent, {Proxy(MessageRelay, refused, "", ""), Proxy(Customer, proxy, "", "")}, 2);
    EXPECT_EQ(client->httpGet(L"via-proxy", {}), "proxy");
    EXPECT_EQ(client->httpPost(L"echo", {}, "kept"), "POST  kept");  // on the live connection
    EXPECT_EQ(client->httpGet(L"via-proxy", {}), "proxy");

    std::vector<std::string> attempts;
    for (const std::string& line : LoggedLines(log))
        if (line.rfind("Attempting to connect using proxy", 0) == 0)
            attempts.push_back(line);
    EXPECT_THAT(attempts, ElementsAre("Attempting to connect using proxy '" + refused + "' of type 'Message Relay'.",
                                      "Attempting to connect using proxy '" + proxy + "' of type 'Customer'."));
}

}  // namespace
