#include "Installer/StartupGuard.h"

#include <windows.h>

#include <shellapi.h>

#include <exception>
#include <stdexcept>

#include "Installer/CommandLine.h"
#include "Utilities/FileSystem.h"
#include "Utilities/Raii.h"
#include "Utilities/TimeUtil.h"
#include "Utilities/TraceLog.h"

namespace S1 {

namespace {

constexpr const char* kCaption = "Halvex Vesk Installer";

}  // namespace

void StartupReporter::ReportEarlyFailure(const char* what)
{
    ::ReportEarlyFailure(what);
}

void StartupReporter::ShowMessageBox(const std::string& text)
{
    MessageBoxA(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONERROR);
}

int runStartupChecks(const std::wstring& commandLine, IStartupChecks& checks, IStartupReporter& reporter)
{
    checks.HardenProcess();
    try {
        checks.CheckAdministrator();
        checks.CheckProgramDataFolder(!hasRawSwitch(commandLine, L"--bypassownershipcheck"));
    } catch (const std::exception& e) {
        reporter.ReportEarlyFailure(e.what());
        if (!hasRawSwitch(commandLine, L"--quiet"))
            reporter.ShowMessageBox(e.what());
        return 1;
    }
    return 0;
}

std::wstring makeLogFilePath()
{
    const auto stamp = utilities::as_utc_yyyyMMdd_HHmmss(utilities::now_as_filetime());
    std::wstring path = utilities::GetTempFolder();
    path += L"HalvexVeskCloudInstaller_";
    path.append(stamp.begin(), stamp.end());
    path += L".log";
    return path;
}

}  // namespace S1
