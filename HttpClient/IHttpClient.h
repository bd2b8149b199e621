#pragma once

#include <string>
#include <vector>

#include "Shared/VeskHttpClient/HttpTypes.h"

using HttpHeader = Vesk::Http::HttpHeader;

// A synchronous HTTP client bound to one host. Success is status 200 exactly; the body comes back
// as the bytes received, and every other outcome throws HttpClient::Error.
class IHttpClient {
public:
    virtual ~IHttpClient() = default;
    virtual std::string httpPost(const std::wstring& path, const std::vector<HttpHeader>& headers, const std::string& body) = 0;
    virtual std::string httpGet(const std::wstring& path, const std::vector<HttpHeader>& headers) = 0;
    virtual std::string httpDelete(const std::wstring& path, const std::vector<HttpHeader>& headers) = 0;
    virtual std::string httpPut(const std::wstring& path, const std::vector<HttpHeader>& headers, const std::string& body) = 0;
};
