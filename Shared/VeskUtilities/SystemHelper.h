#pragma once

#include <windows.h>

#include <functional>

#include "Shared/VeskUtilities/ISystemHelper.h"

namespace Vesk::Utilities::System {

class SystemHelper : public ISystemHelper {
public:
    // ExitWindowsEx's shape: tests must never restart the machine they run on.
    using ExitWindowsFunction = std::function<BOOL(UINT flags, DWORD reason)>;

    SystemHelper();
    explicit SystemHelper(ExitWindowsFunction exitWindows);

    // Enables the shutdown privilege and asks for a planned restart for an installation.
    bool Restart() override;

private:
    ExitWindowsFunction exitWindows;
};

}  // namespace Vesk::Utilities::System
