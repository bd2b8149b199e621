// The Windows answers of WinHTTP that Wine never gives, given through the client's WinHTTP table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "HttpClient/HttpClient.h"
#include "HttpClient/HttpClientImpl.h"
#include "Shared/VeskHttpClient/HttpSession.h"
#include "Shared/VeskHttpClient/WinHttpApi.h"

using ::testing::EndsWith;
using ::testing::StartsWith;

namespace {

using Vesk::Http::Core::winHttp;
using Vesk::Http::Core::WinHttpApi;

// Puts the real table back after each test.
class WindowsBehaviour : public ::testing::Test {
protected:
    void TearDown() override { winHttp() = WinHttpApi{}; }
};

std::vector<DWORD> masks;

BOOL WINAPI RefuseTls12Only(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length)
{
    if (option == WINHTTP_OPTION_SECURE_PROTOCOLS) {
        const DWORD mask = *static_cast<DWORD*>(buffer);
        masks.push_back(mask);
        if (mask == 0x800) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    return WinHttpSetOption(handle, option, buffer, length);
}

BOOL WINAPI RefuseEveryMask(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length)
{
    if (option == WINHTTP_OPTION_SECURE_PROTOCOLS) {
        masks.push_back(*static_cast<DWORD*>(buffer));
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return WinHttpSetOption(handle, option, buffer, length);
}

TEST_F(WindowsBehaviour, ARefusedTlsMaskFallsBackToTheNext)
{
    masks.clear();
    winHttp().setOption = &RefuseTls12Only;
    EXPECT_NO_THROW(Vesk::Http::HttpSession::create(TraceLogFlavour(), L"", L"test", true));
    EXPECT_EQ(masks, (std::vector<DWORD>{0x800, 0xA00}));

    masks.clear();
    winHttp().setOption = &RefuseEveryMask;
    try {
        Vesk::Http::HttpSession::create(TraceLogFlavour(), L"", L"test", true);
        FAIL() << "no exception";
    } catch (const HttpClient::Error& e) {
        EXPECT_THAT(e.what(), StartsWith("WinHttpSetOption failed to set security protocol: 87"));
    }
    EXPECT_EQ(masks, (std::vector<DWORD>{0x800, 0xA00, 0xA80, 0x80}));
}

// Windows tells a refused server certificate through the callback, then fails the send with 12175.
BOOL WINAPI SecureFailure(HINTERNET request, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR context)
{
    const WINHTTP_STATUS_CALLBACK callback = WinHttpSetStatusCallback(request, nullptr, 0, 0);
    DWORD flags = WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA;
    callback(request, context, WINHTTP_CALLBACK_STATUS_SECURE_FAILURE, &flags, sizeof(flags));
    WinHttpSetStatusCallback(request, callback, 0x10 | 0x20 | WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
    SetLastError(ERROR_WINHTTP_SECURE_FAILURE);
    return FALSE;
}

TEST_F(WindowsBehaviour, SecureFailureIsACertificateCheckFailure)
{
    winHttp().sendRequest = &SecureFailure;
    HttpClient client(L"localhost", {}, 1);
    try {
        client.httpGet(L"agent", {});
        FAIL() << "no exception";
    } catch (const HttpClient::Error& e) {
        EXPECT_TRUE(e.certificateCheckFailure);
        EXPECT_FALSE(e.requestSent);
        EXPECT_FALSE(e.statusCode);
        EXPECT_THAT(e.what(), EndsWith(": certificate check failure"));
    }
}

// A proxy that asks for credentials once: 407, then 200 after they were set.
int sends = 0;
DWORD offeredSchemes = 0;
std::vector<std::wstring> credentials;

BOOL WINAPI SendWithoutNetwork(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR)
{
    ++sends;
    return TRUE;
}
BOOL WINAPI ReceiveWithoutNetwork(HINTERNET, LPVOID) { return TRUE; }
BOOL WINAPI ProxyStatus(HINTERNET, DWORD, LPCWSTR, LPVOID buffer, LPDWORD, LPDWORD)
{
    *static_cast<DWORD*>(buffer) = credentials.empty() ? 407 : 200;
    return TRUE;
}
BOOL WINAPI NothingAvailable(HINTERNET, LPDWORD available)
{
    *available = 0;
    return TRUE;
}
BOOL WINAPI OfferSchemes(HINTERNET, LPDWORD supported, LPDWORD first, LPDWORD target)
{
    *supported = offeredSchemes;
    *first = offeredSchemes;
    *target = WINHTTP_AUTH_TARGET_PROXY;
    return TRUE;
}
BOOL WINAPI RecordCredentials(HINTERNET, DWORD target, DWORD scheme, LPCWSTR user, LPCWSTR password, LPVOID)
{
    EXPECT_EQ(target, static_cast<DWORD>(WINHTTP_AUTH_TARGET_PROXY));
    credentials = {std::to_wstring(scheme), user, password};
    return TRUE;
}

class ProxyAuthentication : public WindowsBehaviour {
protected:
    void SetUp() override
    {
        sends = 0;
        credentials.clear();
        winHttp().sendRequest = &SendWithoutNetwork;
        winHttp().receiveResponse = &ReceiveWithoutNetwork;
        winHttp().queryHeaders = &ProxyStatus;
        winHttp().queryDataAvailable = &NothingAvailable;
        winHttp().queryAuthSchemes = &OfferSchemes;
        winHttp().setCredentials = &RecordCredentials;
    }
};

TEST_F(ProxyAuthentication, CredentialsAnswerThe407)
{
    offeredSchemes = WINHTTP_AUTH_SCHEME_BASIC | WINHTTP_AUTH_SCHEME_NTLM | WINHTTP_AUTH_SCHEME_NEGOTIATE;
    HttpClient client(L"localhost", {Proxy(Customer, "proxy.test:3128", "us\xc3\xa9r", "secret")}, 2);
    EXPECT_EQ(client.httpGet(L"agent", {}), "");
    EXPECT_EQ(sends, 2);
    EXPECT_EQ(credentials, (std::vector<std::wstring>{std::to_wstring(WINHTTP_AUTH_SCHEME_NEGOTIATE), L"us\u00e9r", L"secret"}));
}

TEST_F(ProxyAuthentication, BasicAloneIsNeverUsed)
{
    offeredSchemes = WINHTTP_AUTH_SCHEME_BASIC;
    HttpClient client(L"localhost", {Proxy(Customer, "proxy.test:3128", "user", "secret")}, 2);
    EXPECT_THROW(client.httpGet(L"agent", {}), HttpClient::Error);
    EXPECT_TRUE(credentials.empty()) << "the password must not go out in clear text";
}

}  // namespace
