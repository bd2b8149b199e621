#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "halvlib/String.h"
#include "Installer/CommandLine.h"
#include "Installer/StartupChecks.h"
#include "Installer/StartupGuard.h"
#include "StartupFakes.h"
#include "support/Matchers.h"

using ::testing::_;
using ::testing::InSequence;
using ::testing::StrEq;
using ::testing::StrictMock;
using ::testing::Throw;
using S1::runStartupChecks;

namespace {

const char* kNotAdmin = "You must be a local administrator on this computer to install Halvex Vesk.";

// The product's own administrator check over a given membership answer; the other checks pass.
class AdministratorCheckOnly : public S1::IStartupChecks {
public:
    explicit AdministratorCheckOnly(bool member) : real(member ? +[] { return true; } : +[] { return false; }) {}
    void HardenProcess() override {}
    void CheckAdministrator() override { real.CheckAdministrator(); }
    void CheckProgramDataFolder(bool) override {}

private:
    S1::StartupChecks real;
};

TEST(RawArguments, WholeArgumentsMatchExactly)
{
    const struct {
        const wchar_t* commandLine;
        bool quiet;
    } cases[] = {
        {L"HalvexInstall.exe --quiet", true},
        {L"\"C:\\a b\\HalvexInstall.exe\" --language=fr-fr --quiet --products=x", true},
        {L"HalvexInstall.exe \"--quiet\"", true},
        {L"HalvexInstall.exe --quiet=1", false},
        {L"HalvexInstall.exe -quiet", false},
        {L"HalvexInstall.exe --Quiet", false},
        {L"HalvexInstall.exe --quieter", false},
        {L"HalvexInstall.exe", false},
        {L"--quiet", false},  // the program name is not an argument
    };
    for (const auto& c : cases)
        EXPECT_EQ(hasRawSwitch(c.commandLine, L"--quiet"), c.quiet) << testing::PrintToString(std::wstring(c.commandLine));
}

TEST(StartupGuard, ChecksInOrderAndGoesOn)
{
    StrictMock<test::MockStartupChecks> checks;
    StrictMock<test::MockStartupReporter> reporter;
    InSequence order;
    EXPECT_CALL(checks, HardenProcess());
    EXPECT_CALL(checks, CheckAdministrator());
    EXPECT_CALL(checks, CheckProgramDataFolder(true));
    EXPECT_EQ(runStartupChecks(L"HalvexInstall.exe", checks, reporter), 0);
}

TEST(StartupGuard, BypassSkipsOnlyTheOwnershipTest)
{
    StrictMock<test::MockStartupChecks> checks;
    StrictMock<test::MockStartupReporter> reporter;
    EXPECT_CALL(checks, HardenProcess());
    EXPECT_CALL(checks, CheckAdministrator());
    EXPECT_CALL(checks, CheckProgramDataFolder(false));
    EXPECT_EQ(runStartupChecks(L"HalvexInstall.exe --bypassownershipcheck", checks, reporter), 0);
}

TEST(StartupGuard, RefusalShowsTheMessageBoxAndExitsWithOne)
{
    StrictMock<test::MockStartupChecks> checks;
    StrictMock<test::MockStartupReporter> reporter;
    EXPECT_CALL(checks, HardenProcess());
    EXPECT_CALL(checks, CheckAdministrator()).WillOnce(Throw(std::runtime_error(kNotAdmin)));
    // The folder check does not run after a refusal.
    EXPECT_CALL(reporter, ReportEarlyFailure(StrEq(kNotAdmin)));
    EXPECT_CALL(reporter, ShowMessageBox(kNotAdmin));
    EXPECT_EQ(runStartupChecks(L"HalvexInstall.exe --quiet=yes -quiet", checks, reporter), 1);
}

TEST(StartupGuard, QuietRefusalGoesToTheDebuggerOnly)
{
    StrictMock<test::MockStartupChecks> checks;
    StrictMock<test::MockStartupReporter> reporter;
    EXPECT_CALL(checks, HardenProcess());
    EXPECT_CALL(checks, CheckAdministrator());
    EXPECT_CALL(checks, CheckProgramDataFolder(true))
        .WillOnce(Throw(std::runtime_error("The folder is not owned by built-in administrators")));
    EXPECT_CALL(reporter, ReportEarlyFailure(StrEq("The folder is not owned by built-in administrators")));
    EXPECT_EQ(runStartupChecks(L"HalvexInstall.exe --products=a --quiet", checks, reporter), 1);
}

TEST(StartupGuard, ANonAdministratorIsToldWhy)
{
    const struct {
        const wchar_t* commandLine;
        bool messageBox;
    } cases[] = {
        {L"HalvexInstall.exe", true},
        {L"HalvexInstall.exe --quiet=1 --bypassownershipcheck", true},
        {L"HalvexInstall.exe --products=a --quiet", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.commandLine));
        AdministratorCheckOnly checks(false);
        StrictMock<test::MockStartupReporter> reporter;
        EXPECT_CALL(reporter, ReportEarlyFailure(StrEq(kNotAdmin)));
        EXPECT_CALL(reporter, ShowMessageBox(kNotAdmin)).Times(c.messageBox ? 1 : 0);
        EXPECT_EQ(runStartupChecks(c.commandLine, checks, reporter), 1);
    }
}

TEST(StartupGuard, AnAdministratorGoesOn)
{
    AdministratorCheckOnly checks(true);
    StrictMock<test::MockStartupReporter> reporter;
    EXPECT_EQ(runStartupChecks(L"HalvexInstall.exe", checks, reporter), 0);
}

TEST(StartupGuard, LogFileIsInTheTemporaryFolder)
{
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
    const std::wstring path = S1::makeLogFilePath();
    ASSERT_EQ(path.rfind(temp, 0), 0u);
    const std::wstring name = path.substr(std::wcslen(temp));
    EXPECT_THAT(WideToUtf8(name), test::MatchesEcmaRegex(R"(HalvexVeskCloudInstaller_\d{8}_\d{6}\.log)"));
}

}  // namespace
