#pragma once

#include <windows.h>

#include <winhttp.h>

// The WinHTTP calls whose answers differ between Windows and Wine. The client calls them through
// this table so that tests can give the Windows answers Wine never gives (a refused TLS mask, 12175
// with a secure-failure notification, a proxy asking for credentials).
struct WinHttpApi {
    decltype(&::WinHttpSetOption) setOption = &::WinHttpSetOption;
    decltype(&::WinHttpSendRequest) sendRequest = &::WinHttpSendRequest;
    decltype(&::WinHttpReceiveResponse) receiveResponse = &::WinHttpReceiveResponse;
    decltype(&::WinHttpQueryHeaders) queryHeaders = &::WinHttpQueryHeaders;
    decltype(&::WinHttpQueryDataAvailable) queryDataAvailable = &::WinHttpQueryDataAvailable;
    decltype(&::WinHttpReadData) readData = &::WinHttpReadData;
    decltype(&::WinHttpQueryAuthSchemes) queryAuthSchemes = &::WinHttpQueryAuthSchemes;
    decltype(&::WinHttpSetCredentials) setCredentials = &::WinHttpSetCredentials;
};

// The process's table: the real functions unless a test replaced some.
WinHttpApi& winHttp();
