#include "Shared/VeskUtilities/WebHosts.h"

#include <windows.h>

#include <map>

#include "Shared/VeskUtilities/WinlibRegistry.h"

namespace Vesk::Utilities {

namespace {

// Deployment settings: the web host of each environment.
const std::map<std::wstring, std::wstring> kWebHosts = {
    {L"SB", L"sandbox.halvex-test.com"},
    {L"DEV", L"dev.halvex-test.com"},
    {L"QA", L"qa.halvex-test.com"},
    {L"PROD", L"halvex.com"},
};

// The product registers itself in the 32-bit view.
const winlib::registry::RegistryKeyPath kProductKey(L"SOFTWARE\\Halvex\\Vesk", KEY_WOW64_32KEY,
                                                    winlib::registry::LocalMachine);

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

std::wstring GetInstalledVersion()
{
    // The version only labels what is installed: a key that cannot be opened or a value that
    // cannot be read is as good as none.
    try {
        const winlib::registry::KeyHandle key = winlib::registry::OpenKeyIfExists(kProductKey, KEY_READ);
        if (key) {
            if (std::optional<std::wstring> version = winlib::registry::GetOptionalStringValue(key.get(), L"Version"))
                return *version;
        }
    } catch (...) {
    }
    return L"unknown";
}

}  // namespace Vesk::Utilities
