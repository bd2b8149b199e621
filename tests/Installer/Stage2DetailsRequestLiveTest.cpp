// The stage-2 details request through the real client, against the management API stand-in that
// Stage2DetailsRequestLiveTest.py starts on localhost:443. The stand-in answers the known token's
// POST with the request as it arrived, after a line that tells whether it came through the
// driver's CONNECT proxy, whose port is in HALVEX_DETAILS_PROXY_PORT.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "halvlib/String.h"
#include "HttpClient/HttpClient.h"
#include "Installer/Stage1Settings.h"
#include "Installer/Stage2DetailsRequest.h"
#include "Utilities/FatalError.h"

namespace {

const std::wstring kToken = L"0123456789abcdefghij-KLMNOPQRST.uv_w";

std::string ProxyAddress()
{
    char port[16] = "";
    const DWORD length = GetEnvironmentVariableA("HALVEX_DETAILS_PROXY_PORT", port, sizeof port);
    if (length == 0 || length >= sizeof port)
        ADD_FAILURE() << "HALVEX_DETAILS_PROXY_PORT is not set";
    return std::string("127.0.0.1:") + port;
}

// What WinHTTP adds itself, and the one header of the request.
std::string Expected(const std::string& route, const std::string& body)
{
    return route + "\n"
           "POST /api/download/stage2-details/" + WideToUtf8(kToken) + "\n"
           "Content-Type: application/json; charset=utf-8\n"
           "User-Agent: " + WideToUtf8(HttpClientUserAgent()) + "\n"
           "Host: localhost\n"
           "Content-Length: " + std::to_string(body.size()) + "\n"
           "Connection: Keep-Alive\n"
           "Pragma: no-cache\n"
           "Cache-Control: no-cache\n"
           "\n" + body;
}

TEST(Stage2DetailsRequestLive, DirectWithoutProxyDetection)
{
    const Stage1Settings settings;
    EXPECT_EQ(S1::requestStage2Details(kToken, L"localhost", true, settings, ProcessorArchitecture::X64),
              Expected("direct", "{\"stage1_version\":\"1.20.627.0\"}"));
}

// The settings' proxies are the client's candidates: with detection on, the customer proxy still
// comes before the direct connection.
TEST(Stage2DetailsRequestLive, ThroughTheSettingsProxyWithArchitecture)
{
    Stage1Settings settings;
    settings.proxies.insert(Proxy(Customer, ProxyAddress(), "", ""));
    EXPECT_EQ(S1::requestStage2Details(kToken, L"localhost", false, settings, ProcessorArchitecture::ARM64),
              Expected("proxy", "{\"stage1_version\":\"1.20.627.0\",\"processor_architecture\":\"arm64\"}"));
}

TEST(Stage2DetailsRequestLive, AStatusOtherThan200IsADownloadFailure)
{
    const Stage1Settings settings;
    try {
        S1::requestStage2Details(L"unknown-customer", L"localhost", true, settings, ProcessorArchitecture::X64);
        FAIL() << "no exception";
    } catch (const Setup::FatalError& e) {
        EXPECT_EQ(e.Code(), Setup::FatalError::DownloadFailure);
        EXPECT_STREQ(e.what(),
                     "Failed to get stage-2 info. Status code: 404: Bad response from new connection: status code=404");
    }
}

}  // namespace
