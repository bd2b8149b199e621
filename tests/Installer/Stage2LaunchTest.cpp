#include <windows.h>
#include <shellapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "halvlib/String.h"
#include "Installer/Stage2Launch.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TraceLogReset.h"
#include "Utilities/FatalError.h"
#include "Utilities/Raii.h"
#include "Utilities/TraceLog.h"

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {

const HANDLE kHandle = reinterpret_cast<HANDLE>(0x1234);  // written as 4660

// The arguments of a command line as stage 2 would see them.
std::vector<std::wstring> Split(const std::wstring& commandLine)
{
    int argc = 0;
    ArgvGuard argv(CommandLineToArgvW(commandLine.c_str(), &argc));
    if (!argv)
        throw std::runtime_error("CommandLineToArgvW failed");
    return std::vector<std::wstring>(argv.get(), argv.get() + argc);
}

// --------------------------------------------------------------------------------------------
// Escaping and the command line, without a process.

class Stage2CommandLine : public ::testing::Test {
protected:
    void SetUp() override { SetTraceLogFile(logFile); }
    void TearDown() override { test::ClearTraceLogFile(); }

    test::TempFolder temp;
    const std::wstring logFile = (temp / L"trace.log").wstring();
};

TEST(Stage2Escape, ValuesSurviveTheQuotesOfTheirItem)
{
    struct Case {
        std::wstring value;
        std::wstring escaped;
    };
    const std::vector<Case> cases = {
        {L"plain", L"plain"},
        {L"", L""},
        {L"two words", L"two words"},
        {L"C:\\Program Files\\Halvex", L"C:\\Program Files\\Halvex"},
        {L"\\\\server\\share", L"\\\\server\\share"},
        {L"ends\\", L"ends\\\\"},
        {L"ends\\\\", L"ends\\\\\\\\"},
        {L"a\"b", L"a\\\"b"},
        {L"a\\\"b", L"a\\\\\\\"b"},
        {L"\"", L"\\\""},
        {L"\\", L"\\\\"},
        {L"tab\there\r\nand\v", L"tab\there\r\nand\v"},
        {L"x\" --quiet --evil=\"", L"x\\\" --quiet --evil=\\\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.value));
        EXPECT_EQ(S1::escapeCommandLineArgument(c.value), c.escaped);
        // What counts is that stage 2 gets back exactly the value, as one argument.
        EXPECT_THAT(Split(L"stage2.exe \"" + c.escaped + L"\""), ElementsAreArray({std::wstring(L"stage2.exe"), c.value}));
    }
    EXPECT_THROW(S1::escapeCommandLineArgument(std::wstring(L"cut\0here", 8)), std::invalid_argument);
}

TEST_F(Stage2CommandLine, ItemsInTheirOrder)
{
    struct Case {
        const char* name;
        Stage1Settings settings;
        std::wstring expected;
    };
    Stage1Settings unstamped;
    unstamped.mgmtserver = L"mgmt.example.test";

    Stage1Settings proxyWithoutCredentials = unstamped;
    proxyWithoutCredentials.customerProxy = Proxy(ProxyType::Customer, "proxy.test:8080", "", "");
    proxyWithoutCredentials.messagerelays = {L"relay2:8190", L"relay1:8190"};

    Stage1Settings full;
    full.mgmtserver = L"mgmt.example.test";
    full.telemserver = L"telem.example.test";
    full.diagserver = L"diag.example.test";
    full.language = 1033;
    full.nofeedback = full.dumpfeedback = full.registeronly = full.traillogging = full.commandlinelogging = true;
    full.nonpersistent = full.goldimage = full.notificationmode = full.nocompetitorremoval = true;
    full.goldimagetimeout = 30;
    full.crtcatalogpath = L"C:\\Catalog\\";
    full.messagerelays = {L"relay1:8190"};
    full.devicegroup = L"Two Words";
    full.quiet = full.bypassownershipcheck = full.bypassacscheck = true;
    full.parentpid = 4242;
    full.customerProxy = Proxy(ProxyType::Customer, "proxy.test:8080", "user", "pa\xC3\xA9 ss");
    full.computernameoverride = L"PC1";
    full.computerdescriptionoverride = L"Front desk";
    full.domainnameoverride = L"corp.test";
    full.noproxydetection = true;
    full.products = L"ep,ix";
    full.customertoken = L"token";
    full.usecertificatesfolder = true;
    full.qorcustomerid = L"q1";
    full.localinstallsource = L"\\\\share\\src";
    full.partnerid = L"p1";
    full.estateid = L"e1";
    full.userid = L"u1";
    full.epinstallerserver = L"not passed on";

    const std::vector<Case> cases = {
        {"unstamped", unstamped,
         L"--mgmtserver=\"mgmt.example.test\" --logfile=\"" + logFile +
             L"\" --products=\"\" --customertoken=\"\" --pipewritehandle=\"4660\""},
        {"proxy without credentials", proxyWithoutCredentials,
         L"--mgmtserver=\"mgmt.example.test\" --messagerelays=\"relay1:8190,relay2:8190\" --logfile=\"" + logFile +
             L"\" --proxyaddress=\"proxy.test:8080\" --products=\"\" --customertoken=\"\" --pipewritehandle=\"4660\""},
        {"full", full,
         LR"(--mgmtserver="mgmt.example.test" --telemserver="telem.example.test" --diagserver="diag.example.test" )"
         LR"(--language="1033" --nofeedback --dumpfeedback --registeronly --traillogging --commandlinelogging )"
         LR"(--nonpersistent --goldimage --goldimagetimeout="30" --notificationmode --nocompetitorremoval )"
         LR"(--crtcatalogpath="C:\Catalog\\" --messagerelays="relay1:8190" --logfile=")" + logFile +
             LR"(" --devicegroup="Two Words" --quiet --bypassownershipcheck --bypassacscheck --parentpid="4242" )"
             LR"(--proxyaddress="proxy.test:8080" --proxyusername="user" --proxypassword="pa)" L"\u00e9" LR"( ss" )"
             LR"(--computernameoverride="PC1" --computerdescriptionoverride="Front desk" )"
             LR"(--domainnameoverride="corp.test" --noproxydetection --products="ep,ix" --customertoken="token" )"
             LR"(--pipewritehandle="4660" --usecertificatesfolder --qorcustomerid="q1" )"
             LR"(--localinstallsource="\\share\src" --partnerid="p1" --estateid="e1" --userid="u1")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(S1::buildStage2CommandLine(c.settings, kHandle), c.expected);
    }
}

TEST_F(Stage2CommandLine, ProgramPathAndExtraArguments)
{
    S1::Stage2Run run;
    run.settings.mgmtserver = L"m";
    run.workingFolder = L"C:\\Program Files\\Halvex\\CloudInstaller";
    run.extraArguments = {{L"region", L"prod"}, {L"affiliate", L"partner one"}};
    EXPECT_EQ(S1::buildStage2ProcessCommandLine(run, kHandle),
              LR"("C:\Program Files\Halvex\CloudInstaller\HalvexInstall_Stage2.exe" --mgmtserver="m" --logfile=")" +
                  logFile + LR"(" --products="" --customertoken="" --pipewritehandle="4660" --region="prod" --affiliate="partner one")");

    run.extraArguments = {{L"re gion", L"prod"}};
    EXPECT_THROW(S1::buildStage2ProcessCommandLine(run, kHandle), std::invalid_argument);
}

TEST(Stage2CommandLineWithoutLog, NeedsTheTraceLog)
{
    test::ClearTraceLogFile();
    try {
        S1::buildStage2CommandLine(Stage1Settings{}, kHandle);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Logger not initialised");
    }
}

// --------------------------------------------------------------------------------------------
// The launch, with a fake stage 2 that records how it was started and answers as told.

class Stage2Launch : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::copy_file(test::FromBuildPath(HALVEX_FAKE_STAGE2_EXE), temp / S1::kStage2ProgramName);
        SetTraceLogFile((temp / L"trace.log").wstring());
        SetEnvironmentVariableW(L"HALVEX_FAKE_STAGE2_RECORD", record.c_str());
        run.settings.mgmtserver = L"mgmt.example.test";
        run.workingFolder = temp.Path().wstring();
    }

    void TearDown() override
    {
        for (const wchar_t* name : {L"HALVEX_FAKE_STAGE2_RECORD", L"HALVEX_FAKE_STAGE2_MODE", L"HALVEX_FAKE_STAGE2_EXIT",
                                    L"HALVEX_FAKE_STAGE2_EXITED"})
            SetEnvironmentVariableW(name, nullptr);
        test::ClearTraceLogFile();
    }

    struct Outcome {
        bool restart = false;
        std::string error;  // empty after a return
        bool fatal = false;
    };

    Outcome Launch(const wchar_t* mode, const wchar_t* exitCode = L"0")
    {
        SetEnvironmentVariableW(L"HALVEX_FAKE_STAGE2_MODE", mode);
        SetEnvironmentVariableW(L"HALVEX_FAKE_STAGE2_EXIT", exitCode);
        Outcome outcome;
        try {
            outcome.restart = S1::runSetupProgram(run);
        } catch (const Setup::FatalError& e) {
            outcome.error = e.what();
            outcome.fatal = e.Code() == Setup::FatalError::LaunchFailure;
        } catch (const std::runtime_error& e) {
            outcome.error = e.what();
        }
        WaitForChild();
        return outcome;
    }

    // A failed read returns while stage 2 may still run; its file must be free before cleanup.
    void WaitForChild()
    {
        if (run.processId == 0)
            return;
        HandleGuard child(OpenProcess(SYNCHRONIZE, FALSE, run.processId));
        if (child) {
            EXPECT_EQ(WaitForSingleObject(child.get(), 30'000), WAIT_OBJECT_0);
        }
    }

    struct Recorded {
        std::wstring commandLine;
        std::wstring currentFolder;
        std::wstring showWindow;
        std::vector<std::wstring> argv;
    };

    Recorded ReadRecord()
    {
        const std::string bytes = test::ReadFile(record);
        const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
        std::vector<std::wstring> fields;
        for (std::size_t start = 0, end; (end = text.find(L'\0', start)) != std::wstring::npos; start = end + 1)
            fields.push_back(text.substr(start, end - start));
        if (fields.size() < 3)
            throw std::runtime_error("short record");
        return {fields[0], fields[1], fields[2], std::vector<std::wstring>(fields.begin() + 3, fields.end())};
    }

    std::wstring Program() const { return (temp / S1::kStage2ProgramName).wstring(); }

    test::TempFolder temp;
    const std::wstring record = (temp / L"record.bin").wstring();
    S1::Stage2Run run;
};

TEST_F(Stage2Launch, StartsStageTwoInTheWorkingFolderWithItsCommandLine)
{
    run.settings.devicegroup = L"Two Words";
    run.settings.customerProxy = Proxy(ProxyType::Customer, "proxy.test:8080", "user", "secret");
    run.settings.products = L"ep";
    run.extraArguments = {{L"region", L"prod"}};

    const Outcome outcome = Launch(L"ok");
    EXPECT_EQ(outcome.error, "");
    EXPECT_FALSE(outcome.restart);
    EXPECT_NE(run.processId, 0u);

    const Recorded recorded = ReadRecord();
    const std::wstring handleless =
        std::regex_replace(recorded.commandLine, std::wregex(LR"(--pipewritehandle="\d+")"), L"--pipewritehandle=\"N\"");
    EXPECT_EQ(handleless, L"\"" + Program() + LR"(" --mgmtserver="mgmt.example.test" --logfile=")" +
                              (temp / L"trace.log").wstring() +
                              LR"(" --devicegroup="Two Words" --proxyaddress="proxy.test:8080" --proxyusername="user" )"
                              LR"(--proxypassword="secret" --products="ep" --customertoken="" --pipewritehandle="N" --region="prod")");
    EXPECT_EQ(recorded.currentFolder, temp.Path().wstring());
    EXPECT_EQ(recorded.showWindow, std::to_wstring(SW_SHOWNORMAL));

    const std::string log = test::ReadFile(temp / L"trace.log");
    EXPECT_THAT(log, HasSubstr(" INFO : Running setup.\r\n"));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("secret")));
}

TEST_F(Stage2Launch, AnswersAndExitCodes)
{
    struct Case {
        const wchar_t* mode;
        const wchar_t* exitCode;
        bool restart;
        std::string error;
    };
    const std::vector<Case> cases = {
        {L"ok", L"0", false, ""},
        {L"restart", L"0", true, ""},
        {L"ok", L"3", false, "Setup program failed with code: 3"},
        // A restart asked for by a failed stage 2 is dropped with the failure.
        {L"restart", L"3010", false, "Setup program failed with code: 3010"},
        {L"ok", L"3221225477", false, "Setup program failed with code: 3221225477"},
        // Stage 1 holds no copy of the write end, so a silent stage 2 ends the read.
        {L"nowrite", L"0", false, "ReadFile failed: 109"},
        {L"short", L"0", false, "Unexpected bytes_read failed: 4"},
        {L"badsize", L"0", false, "Unexpected size field value: 16 (expected 8)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(std::wstring(c.mode) + L" exit " + c.exitCode));
        run.processId = 0;
        const Outcome outcome = Launch(c.mode, c.exitCode);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.restart, c.restart);
        EXPECT_FALSE(outcome.fatal);
        EXPECT_NE(run.processId, 0u);
    }
}

TEST_F(Stage2Launch, ABadAnswerFailsOnlyOnceStageTwoHasExited)
{
    // The failure's clean-up deletes the working folder, which a running stage 2 still uses.
    for (const wchar_t* mode : {L"short", L"badsize"}) {
        SCOPED_TRACE(WideToUtf8(mode));
        const std::filesystem::path exited = temp / (std::wstring(mode) + L".exited");
        SetEnvironmentVariableW(L"HALVEX_FAKE_STAGE2_EXITED", exited.c_str());
        SetEnvironmentVariableW(L"HALVEX_FAKE_STAGE2_MODE", mode);
        EXPECT_THROW(S1::runSetupProgram(run), std::runtime_error);
        EXPECT_TRUE(std::filesystem::exists(exited)) << "stage 2 was still running";
        WaitForChild();
    }
}

TEST_F(Stage2Launch, MissingProgramIsALaunchFailure)
{
    std::filesystem::remove(temp / S1::kStage2ProgramName);
    const Outcome outcome = Launch(L"ok");
    EXPECT_EQ(outcome.error, "Failed to run setup program. CreateProcess failed: 2");
    EXPECT_TRUE(outcome.fatal);
    EXPECT_EQ(run.processId, 0u);
}

TEST_F(Stage2Launch, HostileValuesAddNoArguments)
{
    run.settings.mgmtserver = L"mgmt\\";
    run.settings.devicegroup = L"two words\" --registeronly --evil=\"";
    run.settings.customerProxy = Proxy(ProxyType::Customer, "proxy.test:8080", "", "p\\\"q\\");
    run.settings.products = L"\"";
    run.settings.customertoken = L"tok\\\\\" --quiet \\";
    run.settings.userid = L"line\none\ttab";
    run.extraArguments = {{L"region", L"prod\" --affiliate=\"evil"}, {L"affiliate", L"\\"}};

    ASSERT_EQ(Launch(L"ok").error, "");
    const Recorded recorded = ReadRecord();
    ASSERT_EQ(recorded.argv.size(), 12u);
    std::vector<std::wstring> argv = recorded.argv;
    argv[8] = std::regex_replace(argv[8], std::wregex(LR"(\d+$)"), L"N");
    EXPECT_THAT(argv, ElementsAreArray(std::vector<std::wstring>{
                          Program(),
                          L"--mgmtserver=mgmt\\",
                          L"--logfile=" + (temp / L"trace.log").wstring(),
                          L"--devicegroup=two words\" --registeronly --evil=\"",
                          L"--proxyaddress=proxy.test:8080",
                          L"--proxypassword=p\\\"q\\",
                          L"--products=\"",
                          L"--customertoken=tok\\\\\" --quiet \\",
                          L"--pipewritehandle=N",
                          L"--userid=line\none\ttab",
                          L"--region=prod\" --affiliate=\"evil",
                          L"--affiliate=\\",
                      }));
}

}  // namespace
