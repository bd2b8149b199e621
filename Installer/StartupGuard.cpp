#include "Installer/StartupGuard.h"

#include <windows.h>

#include <shellapi.h>

#include <exception>
#include <stdexcept>

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

bool HasRawArgument(const std::wstring& commandLine, std::wstring_view argument)
{
    int count = 0;
    const ArgvGuard argv(CommandLineToArgvW(commandLine.c_str(), &count));
    if (!argv)
        return false;
    for (int i = 0; i < count; ++i)
        if (argument == argv.get()[i])
            return true;
    return false;
}

int runStartupChecks(const std::wstring& commandLine, IStartupChecks& checks, IStartupReporter& reporter)
{
    checks.HardenProcess();
    try {
        checks.CheckAdministrator();
        checks.CheckProgramDataFolder(!HasRawArgument(commandLine, L"--bypassownershipcheck"));
    } catch (const std::exception& e) {
        reporter.ReportEarlyFailure(e.what());
        if (!HasRawArgument(commandLine, L"--quiet"))
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
