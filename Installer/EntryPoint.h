#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "Installer/ISafeLauncher.h"
#include "Installer/Stage1Settings.h"
#include "Installer/StartupGuard.h"
#include "Resources/Version.h"
#include "Shared/VeskUtilities/ISystemHelper.h"

namespace S1 {

constexpr const char* kStage1Version = HALVEX_STAGE1_VERSION_TEXT;

// What the entry point needs from outside; wWinMain passes the real ones, tests fakes.
struct EntryPointServices {
    IStartupChecks& checks;
    IStartupReporter& reporter;
    ISafeLauncher& safeLauncher;
    // The stage-1 run that follows the settings.
    std::function<void(HINSTANCE, const Stage1Settings&, const ISafeLauncher&)> run;
};

// The start-up order of the process; returns its exit code.
int RunEntryPoint(HINSTANCE instance, const std::wstring& commandLine, EntryPointServices& services);

// The stage-1 run over the program's own services. A null restart service means the machine's own.
void RunStage1(HINSTANCE instance, const Stage1Settings& settings, const ISafeLauncher& safeLauncher,
               Vesk::Utilities::System::ISystemHelper* restartService = nullptr);

// The command line over the stamped settings of the launcher's file, with the option lines logged.
Stage1Settings parseStage1Settings(const std::wstring& commandLine, const ISafeLauncher& safeLauncher);

}  // namespace S1
