#include "Shared/VeskUtilities/SystemHelper.h"

#include <utility>

#include "Utilities/Raii.h"

namespace Vesk::Utilities::System {

SystemHelper::SystemHelper() : SystemHelper(&ExitWindowsEx) {}

SystemHelper::SystemHelper(ExitWindowsFunction exitWindows) : exitWindows(std::move(exitWindows)) {}

bool SystemHelper::Restart()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    const HandleGuard tokenGuard(token);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // Without the privilege the restart itself fails and says so.
    LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    return exitWindows(EWX_REBOOT,
                       SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION);
}

}  // namespace Vesk::Utilities::System
