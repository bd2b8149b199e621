// Real WinHTTP handles with the calls that need a network, or Windows' own answers, given through
// the engine's WinHTTP table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "Shared/VeskHttpClient/HttpClient.h"
#include "Shared/VeskHttpClient/HttpClientImpl.h"
#include "Shared/VeskHttpClient/HttpSession.h"
#include "Shared/VeskHttpClient/WinHttpApi.h"
#include "support/CapturingLogger.h"
#include "support/FakeHttpTransport.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Vesk::Http::CertificateCheck;
using Vesk::Http::HttpClient;
using Vesk::Http::Core::winHttp;
using Vesk::Http::Core::WinHttpApi;

namespace {

class VeskWinHttp : public ::testing::Test {
protected:
    void TearDown() override { winHttp() = WinHttpApi{}; }
    test::CapturingLogger logger;
};

HttpClient Client(CertificateCheck check, std::int32_t discovery = 1, std::set<Proxy> proxies = {})
{
    return HttpClient(L"localhost", L"Test Agent", {}, {}, check, proxies, discovery, L"", true, 0);
}

// Calls the request's status callback as WinHTTP would from inside the send. It goes back with the
// notifications the client asked for: a handle-closing one would find no context.
constexpr DWORD fileCheckNotifications = 0x30;
constexpr DWORD systemStoreNotifications = 0x10030;

void Notify(HINTERNET request, DWORD_PTR context, DWORD status, void* information, DWORD length, DWORD mask)
{
    const WINHTTP_STATUS_CALLBACK callback = WinHttpSetStatusCallback(request, nullptr, 0, 0);
    ASSERT_NE(callback, nullptr);
    ASSERT_NE(callback, WINHTTP_INVALID_STATUS_CALLBACK);
    callback(request, context, status, information, length);
    WinHttpSetStatusCallback(request, callback, mask, 0);
}

BOOL WINAPI ReceiveNothing(HINTERNET, LPVOID) { return TRUE; }
BOOL WINAPI Status200(HINTERNET, DWORD, LPCWSTR, LPVOID buffer, LPDWORD, LPDWORD)
{
    *static_cast<DWORD*>(buffer) = 200;
    return TRUE;
}
BOOL WINAPI NothingAvailable(HINTERNET, LPDWORD available)
{
    *available = 0;
    return TRUE;
}

void AnswerWithoutNetwork()
{
    winHttp().receiveResponse = &ReceiveNothing;
    winHttp().queryHeaders = &Status200;
    winHttp().queryDataAvailable = &NothingAvailable;
}

BOOL WINAPI RefuseTls12(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length)
{
    if (option == WINHTTP_OPTION_SECURE_PROTOCOLS && *static_cast<DWORD*>(buffer) == 0x800) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return WinHttpSetOption(handle, option, buffer, length);
}

// Windows reports the refused certificate through the callback and may still return TRUE from
// the send; the refusal must win.
BOOL WINAPI SecureFailureThenSuccess(HINTERNET request, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR context)
{
    DWORD sending = 0;
    Notify(request, context, WINHTTP_CALLBACK_STATUS_SENDING_REQUEST, &sending, 0, systemStoreNotifications);
    DWORD flags = WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA | WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID;
    Notify(request, context, WINHTTP_CALLBACK_STATUS_SECURE_FAILURE, &flags, sizeof(flags), systemStoreNotifications);
    return TRUE;
}

// The file check refuses (no server certificate, no files), yet the send returns TRUE.
BOOL WINAPI NullServerCertificate(HINTERNET, DWORD option, LPVOID buffer, LPDWORD length)
{
    if (option != 78)
        return FALSE;
    std::memset(buffer, 0, *length);
    return TRUE;
}
BOOL WINAPI SendingThenSuccess(HINTERNET request, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR context)
{
    Notify(request, context, WINHTTP_CALLBACK_STATUS_SENDING_REQUEST, nullptr, 0, fileCheckNotifications);
    return TRUE;
}

// A notification for a request whose mode expects none: recorded, reported after the call.
WINHTTP_STATUS_CALLBACK capturedCallback = nullptr;
BOOL WINAPI CaptureCallback(HINTERNET request, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR)
{
    capturedCallback = WinHttpSetStatusCallback(request, nullptr, 0, 0);
    SetLastError(ERROR_WINHTTP_CANNOT_CONNECT);
    return FALSE;
}
BOOL WINAPI UnexpectedNotification(HINTERNET request, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR context)
{
    capturedCallback(request, context, WINHTTP_CALLBACK_STATUS_SENDING_REQUEST, nullptr, 0);
    return TRUE;
}

// Proxy discovery: each record must come zeroed, and only what the call set is freed.
int unzeroedRecords = 0;
bool IsZero(const WINHTTP_PROXY_INFO* info)
{
    const WINHTTP_PROXY_INFO zero = {};
    return std::memcmp(info, &zero, sizeof(zero)) == 0;
}
wchar_t* GlobalText(const wchar_t* text)
{
    const std::size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(GlobalAlloc(GMEM_FIXED, bytes));
    std::memcpy(copy, text, bytes);
    return copy;
}
BOOL WINAPI AutomaticProxies(HINTERNET, LPCWSTR, WINHTTP_AUTOPROXY_OPTIONS*, WINHTTP_PROXY_INFO* info)
{
    unzeroedRecords += !IsZero(info);
    info->dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    info->lpszProxy = GlobalText(L"b:2; a:1;\t;");
    return TRUE;
}
BOOL WINAPI NoAutomaticProxy(HINTERNET, LPCWSTR, WINHTTP_AUTOPROXY_OPTIONS*, WINHTTP_PROXY_INFO* info)
{
    unzeroedRecords += !IsZero(info);
    SetLastError(12180);
    return FALSE;
}
BOOL WINAPI SystemProxy(WINHTTP_PROXY_INFO* info)
{
    unzeroedRecords += !IsZero(info);
    info->dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    info->lpszProxy = GlobalText(L"s:1 s:2");
    return TRUE;
}
BOOL WINAPI NoSystemProxy(WINHTTP_PROXY_INFO* info)
{
    unzeroedRecords += !IsZero(info);
    info->dwAccessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    return TRUE;
}

}  // namespace

TEST_F(VeskWinHttp, AcceptedTlsMaskIsLoggedInDecimal)
{
    winHttp().setOption = &RefuseTls12;
    EXPECT_NO_THROW(Vesk::Http::HttpSession::create(Vesk::Http::VeskFlavour(), L"", L"Test Agent", true));
    EXPECT_THAT(logger.Texts(halvlib::logging::Info), Contains("Set security protocol: 2560"));
}

TEST_F(VeskWinHttp, SecureFailureWinsOverASuccessfulSend)
{
    winHttp().sendRequest = &SecureFailureThenSuccess;
    AnswerWithoutNetwork();
    HttpClient client = Client(CertificateCheck::RecordSystemStore);
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { client.httpGet(L"x", {}); });
    EXPECT_TRUE(e.certificateCheckFailure);
    EXPECT_STREQ(e.what(), "Failed to connect with any proxy: certificate check failure");
    EXPECT_THAT(logger.Texts(halvlib::logging::Error), Contains("WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: 40"));
    EXPECT_THAT(logger.Texts(halvlib::logging::Info),
                testing::IsSupersetOf({"WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA",
                                       "WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: "
                                       "WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID"}));
}

TEST_F(VeskWinHttp, FileCheckRefusalWinsOverASuccessfulSend)
{
    winHttp().queryOption = &NullServerCertificate;
    winHttp().sendRequest = &SendingThenSuccess;
    AnswerWithoutNetwork();
    HttpClient client = Client(CertificateCheck::ValidateFile);
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { client.httpGet(L"x", {}); });
    EXPECT_TRUE(e.certificateCheckFailure);
    EXPECT_FALSE(e.requestSent);
    EXPECT_THAT(logger.Texts(halvlib::logging::Error),
                ElementsAre("Cannot use file cert store without any certificates.", "Terminating http connection.",
                            "WinHttpSendRequest failed with certificate check failure and error 0"));
}

TEST_F(VeskWinHttp, UnexpectedNotificationIsReportedAfterTheCall)
{
    // A request with a callback hands it over; a request of a mode without one then receives it.
    capturedCallback = nullptr;
    winHttp().sendRequest = &CaptureCallback;
    HttpClient recording = Client(CertificateCheck::RecordSystemStore);
    test::CaughtError<HttpClient::Error>([&] { recording.httpGet(L"x", {}); });
    ASSERT_NE(capturedCallback, nullptr);

    winHttp().sendRequest = &UnexpectedNotification;
    AnswerWithoutNetwork();
    HttpClient ignoring = Client(CertificateCheck::IgnoreErrors);
    const HttpClient::Error e = test::CaughtError<HttpClient::Error>([&] { ignoring.httpGet(L"x", {}); });
    EXPECT_STREQ(e.what(), "Failed to connect with any proxy");
    EXPECT_THAT(logger.Texts(halvlib::logging::Info),
                Contains("Failed to connect using proxy '' with error: WinHttpSendRequest failed: Unexpected callback"));
}

TEST_F(VeskWinHttp, DiscoveredCandidatesFromZeroedRecords)
{
    unzeroedRecords = 0;
    winHttp().getProxyForUrl = &AutomaticProxies;
    winHttp().getDefaultProxyConfiguration = &SystemProxy;
    Vesk::Http::HttpClientImpl impl(L"s.example", L"Test Agent", {}, {}, CertificateCheck::RecordSystemStore,
                                    {Proxy(Customer, "c:3128", "", "")}, 0, L"", true, 0);
    std::vector<std::pair<ProxyType, std::string>> candidates;
    for (const Proxy& proxy : impl.orderProxyCandidates())
        candidates.emplace_back(proxy.type, proxy.address);
    EXPECT_THAT(candidates, ElementsAre(std::pair(Customer, std::string("c:3128")), std::pair(System, std::string("s:1 s:2")),
                                        std::pair(AutoDiscovered, std::string("a:1")),
                                        std::pair(AutoDiscovered, std::string("b:2")),
                                        std::pair(EmptyProxy, std::string(""))));

    winHttp().getProxyForUrl = &NoAutomaticProxy;
    winHttp().getDefaultProxyConfiguration = &NoSystemProxy;
    logger.Clear();
    EXPECT_EQ(impl.orderProxyCandidates().size(), 2u);
    EXPECT_THAT(logger.Texts(halvlib::logging::Warning), ElementsAre("WinHttpGetProxyForUrl returned: 12180"));
    EXPECT_EQ(unzeroedRecords, 0);
}
