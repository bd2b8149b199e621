#include <windows.h>

#include "Installer/EntryPoint.h"
#include "Installer/SafeLauncherHelper.h"
#include "Installer/StartupChecks.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    S1::StartupChecks checks;
    S1::StartupReporter reporter;
    S1::SafeLauncherHelper safeLauncher;
    S1::EntryPointServices services{checks, reporter, safeLauncher,
                                    [](HINSTANCE instance, const Stage1Settings& settings,
                                       const S1::ISafeLauncher& launcher) { S1::RunStage1(instance, settings, launcher); }};
    // The command line comes from the process, not from the argument, which lacks the program.
    return S1::RunEntryPoint(instance, GetCommandLineW(), services);
}
