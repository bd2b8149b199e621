#include "Shared/VeskUtilities/WebHosts.h"

#include <windows.h>

#include <map>

namespace Vesk::Utilities {

namespace {

// Deployment settings: the web host of each environment.
const std::map<std::wstring, std::wstring> kWebHosts = {
    {L"SB", L"sandbox.halvex-test.com"},
    {L"DEV", L"dev.halvex-test.com"},
    {L"QA", L"qa.halvex-test.com"},
    {L"PROD", L"halvex.com"},
};

}  // namespace

std::wstring GetWebHost(const std::optional<std::wstring>& environment)
{
    std::wstring key = environment.value_or(L"PROD");
    if (!key.empty())
        CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    const auto found = kWebHosts.find(key);
    return found != kWebHosts.end() ? found->second : kWebHosts.at(L"PROD");
}

std::wstring GetServiceHost(const std::optional<std::wstring>& environment)
{
    return L"s." + GetWebHost(environment);
}

std::wstring GetAccountsUrl(const std::optional<std::wstring>& environment)
{
    return L"https://accounts." + GetWebHost(environment);
}

}  // namespace Vesk::Utilities
