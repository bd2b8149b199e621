#pragma once

#include <string>
#include <string_view>

namespace S1 {

// The checks of the start-up guard act on the process and the machine; tests replace them.
class IStartupChecks {
public:
    virtual ~IStartupChecks() = default;
    // Ends the process itself (exit code 105 or 106) when hardening fails.
    virtual void HardenProcess() = 0;
    // Throw a std::exception whose text is shown to the user.
    virtual void CheckAdministrator() = 0;
    virtual void CheckProgramDataFolder(bool checkOwnership) = 0;
};

// Where a refused start is told. A message box would block a headless test run.
class IStartupReporter {
public:
    virtual ~IStartupReporter() = default;
    virtual void ReportEarlyFailure(const char* what) = 0;
    virtual void ShowMessageBox(const std::string& text) = 0;
};

class StartupReporter : public IStartupReporter {
public:
    void ReportEarlyFailure(const char* what) override;
    void ShowMessageBox(const std::string& text) override;
};

// 0 when the process may go on; otherwise the refusal has been reported and the result is the
// process's exit code.
int runStartupChecks(const std::wstring& commandLine, IStartupChecks& checks, IStartupReporter& reporter);

// "HalvexVeskCloudInstaller_<yyyyMMdd_HHmmss>.log" in the user's temporary folder.
std::wstring makeLogFilePath();

}  // namespace S1
