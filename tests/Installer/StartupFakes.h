#pragma once

#include <gmock/gmock.h>

#include "Installer/ISafeLauncher.h"
#include "Installer/StartupGuard.h"

namespace test {

class MockStartupChecks : public S1::IStartupChecks {
public:
    MOCK_METHOD(void, HardenProcess, (), (override));
    MOCK_METHOD(void, CheckAdministrator, (), (override));
    MOCK_METHOD(void, CheckProgramDataFolder, (bool checkOwnership), (override));
};

class MockStartupReporter : public S1::IStartupReporter {
public:
    MOCK_METHOD(void, ReportEarlyFailure, (const char* what), (override));
    MOCK_METHOD(void, ShowMessageBox, (const std::string& text), (override));
};

class MockSafeLauncher : public S1::ISafeLauncher {
public:
    MOCK_METHOD(std::wstring, GetLauncherPath, (), (const, override));
};

}  // namespace test
