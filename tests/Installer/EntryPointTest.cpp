#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "halvlib/String.h"
#include "Installer/EntryPoint.h"
#include "Resources/TrustRoot.h"
#include "StartupFakes.h"
#include "support/Matchers.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TraceLogReset.h"
#include "Utilities/FatalError.h"
#include "Utilities/TraceLog.h"

using ::testing::_;
using ::testing::HasSubstr;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::StrEq;
using ::testing::Throw;

namespace {

// Runs the entry point with the temporary folder moved into a folder of the test's own.
class EntryPoint : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t old[MAX_PATH + 1];
        const DWORD length = GetEnvironmentVariableW(L"TMP", old, MAX_PATH + 1);
        savedTmp = length ? std::wstring(old, length) : std::wstring();
        SetEnvironmentVariableW(L"TMP", (temp.Path().wstring() + L"\\").c_str());
        ON_CALL(launcher, GetLauncherPath()).WillByDefault(Return(test::FromBuildPath(HALVEX_INSTALL_EXE)));
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"TMP", savedTmp.empty() ? nullptr : savedTmp.c_str());
        test::ClearTraceLogFile();
    }

    int Run(const std::wstring& commandLine)
    {
        S1::EntryPointServices services{checks, reporter, launcher, [this](HINSTANCE, const Stage1Settings& s, const S1::ISafeLauncher&) { settings = s; run(); }};
        return S1::RunEntryPoint(nullptr, commandLine, services);
    }

    std::string Log()
    {
        std::vector<std::filesystem::path> logs;
        for (const auto& entry : std::filesystem::directory_iterator(temp.Path()))
            logs.push_back(entry.path());
        if (logs.size() != 1)
            return "<" + std::to_string(logs.size()) + " files>";
        return test::ReadFile(logs[0]);
    }

    test::TempFolder temp;
    std::wstring savedTmp;
    NiceMock<test::MockStartupChecks> checks;
    NiceMock<test::MockStartupReporter> reporter;
    NiceMock<test::MockSafeLauncher> launcher;
    std::function<void()> run = [] {};
    Stage1Settings settings = mergeSettings({}, {});
};

TEST_F(EntryPoint, ARunEndsWithZeroAfterLoggingTheVersion)
{
    bool ran = false;
    run = [&] { ran = true; };
    EXPECT_EQ(Run(L"HalvexInstall.exe"), 0);
    EXPECT_TRUE(ran);
    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr(" INFO : Vesk Stage 1 version: 1.4.0.397\r\n"));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("command line: ")));
    // A build without the maker's root says so in its first line.
    const std::string first = log.substr(0, log.find("\r\n"));
    if (HALVEX_BUILT_IN_ROOT_IS_DEVELOPMENT)
        EXPECT_THAT(first, HasSubstr(" WARNING : This build trusts a development root certificate for stage-2 packages"));
    else
        EXPECT_THAT(log, ::testing::Not(HasSubstr("development root")));
}

TEST_F(EntryPoint, LogsTheOptionsAndMergesTheSettings)
{
    EXPECT_EQ(Run(L"HalvexInstall.exe --quiet=yes --language=1036 --proxyaddress=proxy:8080 --proxypassword=secret "
                  L"--commandlinelogging --unknown=1 -q"),
              0);
    const std::string log = Log();
    EXPECT_THAT(log, test::ContainsEcmaRegex(" INFO : Stage 1 command-line options:\r\n.* INFO : ---\r\n"
                                             ".* INFO : Quiet mode on: 1\r\n"));
    EXPECT_THAT(log, HasSubstr(" INFO : Language will be set to: 1036\r\n"));
    EXPECT_THAT(log, HasSubstr(" INFO : Proxy address: proxy:8080\r\n"));
    EXPECT_THAT(log, test::ContainsEcmaRegex("Using local install source: --\r\n[^\r]+ INFO : ---\r\n"));
    EXPECT_THAT(log, HasSubstr(" INFO : Detected architecture: "));
    EXPECT_THAT(log, HasSubstr(" INFO : HalvexInstall (stage 1) command line: HalvexInstall.exe --quiet=yes"));
    // The password stands only in the raw command line, which was asked for here.
    EXPECT_EQ(log.find("secret"), log.rfind("secret"));
    EXPECT_TRUE(settings.quiet);
    EXPECT_EQ(settings.language, 1036);
    EXPECT_EQ(settings.parentpid, GetCurrentProcessId());
    EXPECT_THAT(WideToUtf8(settings.workingFolder), ::testing::EndsWith("\\Halvex\\CloudInstaller"));
    ASSERT_TRUE(settings.customerProxy);
    EXPECT_EQ(settings.customerProxy->password, "secret");
}

TEST_F(EntryPoint, NonOptionIsRefusedWithTheUsage)
{
    run = [] { FAIL() << "the run must not start"; };
    EXPECT_EQ(Run(L"HalvexInstall.exe --language fr-fr"), 1);
    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr(" ERROR : CommandLineException: Non-option passed: fr-fr\r\n"));
    EXPECT_THAT(log, HasSubstr(" <options>\\n\\nOptions:\\n--quiet\\n--bypassownershipcheck\\n"));
    EXPECT_THAT(log, HasSubstr(" ERROR : Usage: InstallerTests.exe <options>"));
}

TEST_F(EntryPoint, RefusedStartWritesNoLog)
{
    EXPECT_CALL(checks, CheckAdministrator()).WillOnce(Throw(std::runtime_error("not an administrator")));
    EXPECT_CALL(reporter, ShowMessageBox("not an administrator"));
    run = [] { FAIL() << "the run must not start"; };
    EXPECT_EQ(Run(L"HalvexInstall.exe"), 1);
    EXPECT_EQ(Log(), "<0 files>");
}

TEST_F(EntryPoint, MissingLauncherVariableEndsWithOne)
{
    EXPECT_CALL(launcher, GetLauncherPath()).WillOnce(Throw(std::runtime_error("Failed to get SafeLauncher path")));
    run = [] { FAIL() << "the run must not start"; };
    EXPECT_EQ(Run(L"HalvexInstall.exe"), 1);
    EXPECT_THAT(Log(), HasSubstr(" ERROR : Exception: Failed to get SafeLauncher path\r\n"));
}

TEST_F(EntryPoint, FailedRunEndsWithOne)
{
    run = [] { throw Setup::FatalError("Stage 2 fatal error", Setup::FatalError::DownloadFailure); };
    EXPECT_EQ(Run(L"HalvexInstall.exe --quiet"), 1);
    EXPECT_THAT(Log(), HasSubstr(" ERROR : Exception: Stage 2 fatal error\r\n"));
}

TEST_F(EntryPoint, LogFileFailureGoesToTheDebuggerOutput)
{
    // A temporary folder that is a file: the log's folder cannot be created.
    const auto blocker = temp / L"file";
    { std::ofstream(blocker) << "x"; }
    SetEnvironmentVariableW(L"TMP", (blocker.wstring() + L"\\sub\\").c_str());
    EXPECT_CALL(reporter, ReportEarlyFailure(_));
    EXPECT_CALL(reporter, ShowMessageBox(_)).Times(0);
    run = [] { FAIL() << "the run must not start"; };
    EXPECT_EQ(Run(L"HalvexInstall.exe"), 1);
}

}  // namespace
