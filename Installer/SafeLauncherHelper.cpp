#include "Installer/SafeLauncherHelper.h"

#include <windows.h>

#include <array>
#include <stdexcept>

namespace S1 {

std::wstring SafeLauncherHelper::GetLauncherPath() const
{
    std::array<wchar_t, MAX_PATH> buffer{};
    const DWORD length = GetEnvironmentVariableW(kVariable, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0)
        throw std::runtime_error("Failed to get SafeLauncher path");
    // A value that does not fit is answered with the size it needs, NUL included.
    if (length >= buffer.size())
        throw std::runtime_error("Failed to get SafeLauncher path (too long)");
    return std::wstring(buffer.data(), length);
}

}  // namespace S1
