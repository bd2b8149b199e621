#pragma once

#include <optional>
#include <string>

namespace Vesk::Utilities {

// The maker's web hosts by environment ("SB", "DEV", "QA", "PROD", any letter case); an absent
// or unknown environment is production.
std::wstring GetWebHost(const std::optional<std::wstring>& environment);
std::wstring GetServiceHost(const std::optional<std::wstring>& environment);
std::wstring GetAccountsUrl(const std::optional<std::wstring>& environment);

// The installed product's version, or "unknown" when it cannot be read for any reason; never
// throws.
std::wstring GetInstalledVersion();

}  // namespace Vesk::Utilities
