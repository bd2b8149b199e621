// Requests against the HTTPS server that tests/HttpClient/live_https_test.py starts on
// localhost:443 with a certificate of a throw-away authority in the Root store, and against a
// second server whose authority is unknown.
#include <windows.h>

#include <gtest/gtest.h>

#include "halvlib/String.h"
#include "HttpClient/HttpClient.h"

namespace {

HttpClient Client(std::int32_t proxyDiscovery = 1)
{
    return HttpClient(L"localhost", {}, proxyDiscovery);
}

TEST(HttpClientLive, GetPostAndStatus)
{
    HttpClient client = Client();
    EXPECT_EQ(client.httpGet(L"full/corvale/windows/vesk/installer/stage2.tar.gz", {HttpHeader(L"Accept", L"application/gzip")}),
              "archive bytes\n");
    EXPECT_EQ(client.httpPost(L"echo", {HttpHeader(L"Content-Type", L"application/json; charset=utf-8")},
                              "{\"stage1_version\":\"1.20.627.0\"}"),
              "POST application/json; charset=utf-8 {\"stage1_version\":\"1.20.627.0\"}");
    try {
        client.httpGet(L"missing", {});
        FAIL() << "no exception";
    } catch (const HttpClient::Error& e) {
        EXPECT_EQ(e.statusCode, 404);
        EXPECT_TRUE(e.requestSent);
        EXPECT_FALSE(e.certificateCheckFailure);
    }
}

TEST(HttpClientLive, SendsItsUserAgent)
{
    EXPECT_EQ(Client().httpGet(L"agent", {}), WideToUtf8(HttpClientUserAgent()));
}

// Through the test's CONNECT proxy on 127.0.0.1:3128; a dead message relay before it is skipped.
// With proxy discovery 2 there is no direct candidate, so only the proxy can have answered.
TEST(HttpClientLive, ProxyCandidatesInTheirOrder)
{
    const std::set<Proxy> proxies = {Proxy(MessageRelay, "127.0.0.1:9", "", ""), Proxy(Customer, "127.0.0.1:3128", "", "")};
    HttpClient client(L"localhost", proxies, 2);
    EXPECT_EQ(client.httpGet(L"agent", {}), WideToUtf8(HttpClientUserAgent()));
}

// The proxy on 3129 wants credentials that no candidate has.
TEST(HttpClientLive, ProxyAuthenticationRequiredWithoutCredentials)
{
    HttpClient client(L"localhost", {Proxy(Customer, "127.0.0.1:3129", "", "")}, 2);
    try {
        client.httpGet(L"agent", {});
        FAIL() << "no exception";
    } catch (const HttpClient::Error& e) {
        EXPECT_NE(e.statusCode, std::optional<int>(200));
    }
}

// Run against the second server, whose authority nobody trusts.
TEST(HttpClientLiveUntrusted, ServerOfAnUnknownAuthorityIsRefused)
{
    try {
        Client().httpGet(L"agent", {});
        FAIL() << "no exception";
    } catch (const HttpClient::Error& e) {
        EXPECT_FALSE(e.statusCode);
        EXPECT_FALSE(e.requestSent);
    }
}

// The file check trusts the unknown authority when its certificate is given as a file, and its
// CRL decides about revocation.
std::wstring TestFile(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"HALVEX_TEST_CERTIFICATES", folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

HttpClient FileCheckedClient(const wchar_t* crl)
{
    return HttpClient(L"localhost", {TestFile(L"unknown-ca.der")}, {TestFile(crl)}, CertificateCheck::ValidateFile, {},
                      1, L"", true);
}

TEST(HttpClientLiveUntrusted, FileCheckAcceptsTheGivenAuthority)
{
    EXPECT_EQ(FileCheckedClient(L"unknown-good.crl").httpGet(L"agent", {}), WideToUtf8(HttpClientUserAgent()));
}

TEST(HttpClientLiveUntrusted, FileCheckRefusesARevokedCertificate)
{
    try {
        FileCheckedClient(L"unknown-revoked.crl").httpGet(L"agent", {});
        FAIL() << "no exception";
    } catch (const HttpClient::Error& e) {
        EXPECT_TRUE(e.certificateCheckFailure) << e.what();
        EXPECT_FALSE(e.statusCode);
    }
}

}  // namespace
