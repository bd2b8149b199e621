#pragma once

#include <windows.h>

#include <winhttp.h>

namespace Vesk::Http::Core {

// The WinHTTP calls whose answers differ between Windows and Wine, or that tests must steer. The
// engine calls them through this table so that tests can give the Windows answers Wine never
// gives (a refused TLS mask, 12175 with a secure-failure notification, a proxy asking for
// credentials) and the failures a network rarely gives.
struct WinHttpApi {
    decltype(&::WinHttpSetOption) setOption = &::WinHttpSetOption;
    decltype(&::WinHttpQueryOption) queryOption = &::WinHttpQueryOption;
    decltype(&::WinHttpSendRequest) sendRequest = &::WinHttpSendRequest;
    decltype(&::WinHttpReceiveResponse) receiveResponse = &::WinHttpReceiveResponse;
    decltype(&::WinHttpQueryHeaders) queryHeaders = &::WinHttpQueryHeaders;
    decltype(&::WinHttpQueryDataAvailable) queryDataAvailable = &::WinHttpQueryDataAvailable;
    decltype(&::WinHttpReadData) readData = &::WinHttpReadData;
    decltype(&::WinHttpQueryAuthSchemes) queryAuthSchemes = &::WinHttpQueryAuthSchemes;
    decltype(&::WinHttpSetCredentials) setCredentials = &::WinHttpSetCredentials;
    decltype(&::WinHttpGetProxyForUrl) getProxyForUrl = &::WinHttpGetProxyForUrl;
    decltype(&::WinHttpGetDefaultProxyConfiguration) getDefaultProxyConfiguration =
        &::WinHttpGetDefaultProxyConfiguration;
};

// The process's table: the real functions unless a test replaced some.
WinHttpApi& winHttp();

}  // namespace Vesk::Http::Core
