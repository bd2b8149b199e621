#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Shared/VeskHttpClient/ProxyDispatch.h"

namespace test {

using Vesk::Http::Core::ResponseRecord;

// What one candidate does with one request: answer, or throw.
using Behaviour = std::function<ResponseRecord(const std::wstring& path, bool authenticated)>;

inline ResponseRecord Answer(int status, const std::string& body = "", bool requestSent = true,
                             std::map<std::wstring, std::wstring> headers = {})
{
    return {std::vector<char>(body.begin(), body.end()), status, requestSent, std::move(headers)};
}

inline Behaviour Replies(int status, const std::string& body = "", bool requestSent = true)
{
    return [=](const std::wstring&, bool) { return Answer(status, body, requestSent); };
}

template <class E>
Behaviour Throws(E error)
{
    return [=](const std::wstring&, bool) -> ResponseRecord { throw error; };
}

// The client error that call throws; a test failure (and a placeholder error) when it throws none.
template <class Error>
Error CaughtError(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no client error thrown";
    return Error("none", false);
}

// A transport whose candidates (by proxy address, "" for direct) answer as told, recording what
// was opened and requested.
class FakeTransport : public Vesk::Http::Core::ITransport {
public:
    class Exchange : public Vesk::Http::Core::IExchange {
    public:
        Exchange(FakeTransport& owner, std::wstring path) : owner(owner), path(std::move(path)) {}
        ResponseRecord perform(const std::string& body) override
        {
            owner.requests.push_back(owner.current + " " + std::string(path.begin(), path.end()));
            owner.bodies.push_back(body);
            auto found = owner.behaviours.find(owner.current);
            if (found == owner.behaviours.end())
                throw std::runtime_error("no route");
            return found->second(path, authenticated);
        }
        void enableProxyAuthentication(const std::wstring& username, const std::wstring& password) override
        {
            owner.credentials.push_back(username + L":" + password);
            authenticated = true;
        }

    private:
        FakeTransport& owner;
        std::wstring path;
        bool authenticated = false;
    };

    void open(const std::string& proxyAddress, const std::wstring&) override
    {
        opened.push_back(proxyAddress);
        current = proxyAddress;
        live = true;
    }
    bool isOpen() const override { return live; }
    void close() override { live = false; }
    std::unique_ptr<Vesk::Http::Core::IExchange> openRequest(const std::wstring& verb, const std::wstring& path,
                                                             const std::vector<Vesk::Http::HttpHeader>&) override
    {
        verbs.push_back(verb);
        return std::make_unique<Exchange>(*this, path);
    }
    std::vector<Proxy> discoverAutomaticProxies(const std::wstring& url) override
    {
        discoveryUrls.push_back(url);
        return automatic;
    }
    std::optional<Proxy> discoverSystemProxy() override { return system; }

    std::map<std::string, Behaviour> behaviours;
    std::vector<Proxy> automatic;
    std::optional<Proxy> system;
    std::vector<std::string> opened;
    std::vector<std::string> requests;
    std::vector<std::string> bodies;
    std::vector<std::wstring> verbs;
    std::vector<std::wstring> credentials;
    std::vector<std::wstring> discoveryUrls;
    std::string current;
    bool live = false;
};

}  // namespace test
