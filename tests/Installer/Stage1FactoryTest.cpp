#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "halvlib/String.h"
#include "Installer/SafeLauncherHelper.h"
#include "Installer/SetupController.h"
#include "Installer/SetupControllerFakes.h"
#include "Installer/StartupFakes.h"
#include "Installer/Stage1Factory.h"
#include "Shared/VeskUtilities/IResourceHelper.h"
#include "Shared/VeskUtilities/SingleInstanceEvent.h"
#include "support/FakeResources.h"
#include "support/Matchers.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TraceLogReset.h"
#include "Utilities/FatalError.h"
#include "Utilities/FileSystem.h"
#include "Utilities/Raii.h"
#include "Utilities/TraceLog.h"

using ::testing::_;
using ::testing::HasSubstr;
using ::testing::Invoke;
using ::testing::Return;

namespace {

class FixedLauncher : public S1::ISafeLauncher {
public:
    explicit FixedLauncher(std::wstring path) : path(std::move(path)) {}
    std::wstring GetLauncherPath() const override { return path; }
    std::wstring path;
};

using test::FakeResources;

struct StartedProcess {
    std::wstring application;
    std::wstring commandLine;
    std::wstring environment;
};

// The variables of an environment block, by name as written.
std::map<std::wstring, std::wstring> Variables(const std::wstring& block)
{
    std::map<std::wstring, std::wstring> variables;
    for (std::size_t at = 0; at < block.size() && block[at];) {
        const std::wstring entry = block.c_str() + at;
        const std::size_t equals = entry.find(L'=', 1);
        variables[entry.substr(0, equals)] = entry.substr(equals + 1);
        at += entry.size() + 1;
    }
    return variables;
}

class Stage1FactoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetTraceLogFile((temp / L"trace.log").wstring());
        settings.workingFolder = L"C:\\Program Files (x86)\\Halvex\\CloudInstaller";
    }
    void TearDown() override { test::ClearTraceLogFile(); }

    std::string Log() const { return test::ReadFile(temp / L"trace.log"); }

    S1::Stage1Factory Factory(const std::wstring& commandLine = L"HalvexInstall.exe")
    {
        return S1::Stage1Factory(
            settings, GetModuleHandleW(nullptr), fileSystem, resources, launcher, S1::BuiltInResourceConfiguration(),
            &system,
            [this](const std::wstring& application, const std::wstring& line, const std::wstring& environment) {
                started.push_back({application, line, environment});
                SetLastError(startError);
                return startError == 0;
            },
            commandLine);
    }

    test::TempFolder temp;
    Stage1Settings settings;
    testing::StrictMock<test::MockFileSystem> fileSystem;
    FakeResources resources;
    FixedLauncher launcher{L"C:\\Program Files (x86)\\Halvex\\CloudInstaller\\HalvexInstall.exe"};
    testing::StrictMock<test::MockSystem> system;
    std::vector<StartedProcess> started;
    DWORD startError = 0;
};

TEST_F(Stage1FactoryTest, OnlyTheResumableFileItselfRelaunches)
{
    for (const wchar_t* path : {L"C:\\Users\\me\\Downloads\\HalvexInstall.exe",
                                L"C:\\Program Files (x86)\\Halvex\\CloudInstaller\\halvexinstall.exe",
                                L"C:\\PROGRAM FILES (X86)\\Halvex\\CloudInstaller\\HalvexInstall.exe"}) {
        launcher.path = path;
        EXPECT_FALSE(Factory().RelaunchAsClone());
    }
    EXPECT_TRUE(started.empty());
}

TEST_F(Stage1FactoryTest, TheCopyRunsWithItsOwnPathQuotedAndNamedToIt)
{
    std::wstring target;
    EXPECT_CALL(fileSystem, CopyFileTo(launcher.path, _)).WillOnce(Invoke([&](std::wstring, std::wstring to) {
        target = to;
        return true;
    }));
    SetEnvironmentVariableW(S1::SafeLauncherHelper::kVariable, launcher.path.c_str());
    const bool relaunched = Factory(L"\"C:\\Program Files (x86)\\Halvex\\CloudInstaller\\HalvexInstall.exe\"  "
                                    L"--quiet --region=\"e u\"")
                                .RelaunchAsClone();
    SetEnvironmentVariableW(S1::SafeLauncherHelper::kVariable, nullptr);

    ASSERT_TRUE(relaunched);
    EXPECT_THAT(WideToUtf8(target), test::MatchesEcmaRegex(".*\\\\HalvexInstall_\\d{8}_\\d{6}\\.exe"));
    EXPECT_EQ(std::filesystem::path(target).parent_path(),
              std::filesystem::path(utilities::GetTempFolder()).parent_path());
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].application, target);
    EXPECT_EQ(started[0].commandLine, L"\"" + target + L"\" --quiet --region=\"e u\"");
    const auto variables = Variables(started[0].environment);
    EXPECT_EQ(variables.at(S1::SafeLauncherHelper::kVariable), target);
    EXPECT_EQ(variables.count(L"HALVEX_SFL_PATH_DE4325B8_1378_47A6_AEC1_EF723BCE8EC4"), 0u);
    EXPECT_TRUE(variables.count(L"PATH") || variables.count(L"Path") || variables.count(L"SystemRoot"));
}

TEST_F(Stage1FactoryTest, AFailedCopyOrStartGoesOnInPlace)
{
    EXPECT_CALL(fileSystem, CopyFileTo(_, _)).WillOnce(Return(false)).WillOnce(Invoke([](std::wstring, std::wstring) -> bool {
        throw std::runtime_error("disk full");
    }));
    EXPECT_FALSE(Factory().RelaunchAsClone());
    EXPECT_FALSE(Factory().RelaunchAsClone());
    EXPECT_TRUE(started.empty());
    EXPECT_THAT(Log(), HasSubstr("ERROR : Failed to copy binary to temp location for launch"));

    EXPECT_CALL(fileSystem, CopyFileTo(_, _)).WillOnce(Return(true));
    startError = ERROR_FILE_NOT_FOUND;
    EXPECT_FALSE(Factory().RelaunchAsClone());
    EXPECT_THAT(Log(), HasSubstr("ERROR : CreateProcess failed, err=2"));
}

TEST(Stage1FactoryArguments, TheProgramNameIsSplitOffAsTheSystemDoes)
{
    struct Case {
        const wchar_t* commandLine;
        const wchar_t* arguments;
    };
    const Case cases[] = {
        {L"HalvexInstall.exe", L""},
        {L"HalvexInstall.exe --quiet", L"--quiet"},
        {L"\"C:\\a b\\HalvexInstall.exe\" --quiet --x=\"1 2\"", L"--quiet --x=\"1 2\""},
        {L"\"C:\\a b\\HalvexInstall.exe\"--quiet", L"--quiet"},
        {L"C:\\ab\\HalvexInstall.exe\t \t--quiet ", L"--quiet "},
        {L"\"C:\\unclosed --quiet", L""},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(S1::ArgumentsAfterProgramName(c.commandLine), c.arguments) << WideToUtf8(c.commandLine);
}

TEST(Stage1FactoryEnvironment, TheVariableIsReplacedOnceAndEverythingElseKept)
{
    const wchar_t strings[] = L"=C:=C:\\\0A=1\0halvex_var=old\0B=x=y\0HALVEX_VAR=dup\0";
    const std::wstring block = S1::EnvironmentBlockWith(strings, L"HALVEX_VAR", L"C:\\new copy.exe");
    EXPECT_EQ(block, std::wstring(L"=C:=C:\\\0A=1\0HALVEX_VAR=C:\\new copy.exe\0B=x=y\0\0", 46));

    const wchar_t without[] = L"A=1\0";
    EXPECT_EQ(S1::EnvironmentBlockWith(without, L"V", L"v"), std::wstring(L"A=1\0V=v\0\0", 9));
    // A name that is only the start of another's is another variable.
    const wchar_t longer[] = L"VV=1\0";
    EXPECT_EQ(S1::EnvironmentBlockWith(longer, L"V", L"v"), std::wstring(L"VV=1\0V=v\0\0", 10));
}

// The real start, into a folder whose name has a space, as a profile folder may.
TEST_F(Stage1FactoryTest, ARealCopyInAFolderWithASpaceStartsAndSeesItsOwnPath)
{
    const std::filesystem::path tempWithSpace = temp / L"Temp Folder";
    std::filesystem::create_directories(tempWithSpace);
    // A program named like the folder's first word must not be what starts.
    std::filesystem::copy_file(test::FromBuildPath(HALVEX_FAKE_STAGE2_EXE), temp / L"Temp.exe");
    const std::wstring record = (temp / L"record.bin").wstring();
    std::map<std::wstring, std::wstring> saved;
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
        std::vector<wchar_t> value(32768);
        saved[name] = std::wstring(value.data(), GetEnvironmentVariableW(name, value.data(), 32768));
        SetEnvironmentVariableW(name, (tempWithSpace.wstring() + L"\\").c_str());
    }
    SetEnvironmentVariableW(L"HALVEX_RELAUNCH_PROBE_RECORD", record.c_str());
    SetEnvironmentVariableW(S1::SafeLauncherHelper::kVariable, launcher.path.c_str());

    std::wstring target;
    EXPECT_CALL(fileSystem, CopyFileTo(_, _)).WillOnce(Invoke([&](std::wstring, std::wstring to) {
        target = to;
        return CopyFileW(test::FromBuildPath(HALVEX_RELAUNCH_PROBE_EXE).c_str(), to.c_str(), FALSE) != FALSE;
    }));
    S1::Stage1Factory factory(settings, GetModuleHandleW(nullptr), fileSystem, resources, launcher,
                              S1::BuiltInResourceConfiguration(), &system);
    const bool relaunched = factory.RelaunchAsClone();

    for (const auto& [name, value] : saved)
        SetEnvironmentVariableW(name.c_str(), value.c_str());
    SetEnvironmentVariableW(L"HALVEX_RELAUNCH_PROBE_RECORD", nullptr);
    SetEnvironmentVariableW(S1::SafeLauncherHelper::kVariable, nullptr);
    ASSERT_TRUE(relaunched);
    EXPECT_EQ(std::filesystem::path(target).parent_path(), tempWithSpace);

    // The copy runs on its own; its record appears whole once it has run. Under Wine the new
    // name can be seen a moment before the rename lets go of the file, so opening is retried.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::optional<std::string> read;
    while (!read && std::chrono::steady_clock::now() < deadline) {
        try {
            if (std::filesystem::exists(record))
                read = test::ReadFile(record);
        } catch (const std::exception&) {
        }
        if (!read)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(read) << "no record from the copy";
    const std::string bytes = *read;
    const std::wstring fields(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    std::vector<std::wstring> parts;
    for (std::size_t at = 0; at < fields.size(); at += parts.back().size() + 1)
        parts.push_back(fields.c_str() + at);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].rfind(L"\"" + target + L"\"", 0), 0u) << WideToUtf8(parts[0]);
    EXPECT_TRUE(std::filesystem::equivalent(parts[1], target));
    EXPECT_EQ(parts[2], target);
}

TEST_F(Stage1FactoryTest, TheRootTrustComesFromBothResources)
{
    resources.bytes = {{6001, "certificate"}, {6002, "crl"}};
    const S1::RootTrust trust = Factory().LoadRootCertificates();
    EXPECT_EQ(trust.certificate, "certificate");
    EXPECT_EQ(trust.crl, "crl");

    for (int missing : {6001, 6002}) {
        FakeResources partial;
        partial.bytes = {{6001, "certificate"}, {6002, "crl"}};
        partial.bytes.erase(missing);
        S1::Stage1Factory factory(settings, GetModuleHandleW(nullptr), fileSystem, partial, launcher,
                                  S1::BuiltInResourceConfiguration(), &system);
        try {
            factory.LoadRootCertificates();
            ADD_FAILURE() << "no exception without resource " << missing;
        } catch (const Setup::FatalError& e) {
            EXPECT_EQ(e.Code(), Setup::FatalError::ExtractFailure);
            EXPECT_STREQ(e.what(), "Could not find root certificate in resources");
        }
    }
}

TEST(Stage1FactoryResources, TheBuiltInConfigurationNamesTheProgramsResources)
{
    const S1::ResourceConfiguration& c = S1::BuiltInResourceConfiguration();
    EXPECT_EQ(c.rootCertificateId, 6001);
    EXPECT_EQ(c.revocationListId, 6002);
    const std::map<std::wstring, int> languages = {{L"en-us", 5001}, {L"ja-jp", 5002}, {L"fr-fr", 5003},
                                                   {L"de-de", 5004}, {L"it-it", 5005}, {L"es-es", 5006}};
    EXPECT_EQ(c.localisations, languages);
    EXPECT_EQ(c.defaultLanguage, L"en-us");
    EXPECT_EQ(c.fonts, (std::vector<int>{3001, 3002}));
    EXPECT_EQ(c.themes, (std::map<std::wstring, int>{{L"theme", 5101}}));
    EXPECT_EQ(c.themeName, L"theme");
}

// The attempt removes the working folder, resume file included, so the question comes first.
TEST(Stage1FactoryFirstAttempt, TheResumeFileIsLookedForBeforeTheAttemptRemovesIt)
{
    test::TempFolder temp;
    SetTraceLogFile((temp / L"trace.log").wstring());
    Stage1Settings settings;
    settings.workingFolder = (temp / L"CloudInstaller").wstring();
    S1::VeskOptions options{{}, std::nullopt};
    testing::NiceMock<test::MockStage1Setup> setup;
    testing::NiceMock<test::MockSafeLauncher> launcher;
    testing::NiceMock<test::MockFileSystem> fileSystem;
    testing::NiceMock<test::MockWeb> web;
    testing::NiceMock<test::MockSystem> system;
    testing::NiceMock<test::MockKelmClient> kelmClient;
    testing::NiceMock<test::MockKelmController> kelmController;
    std::atomic<bool> removed{false};
    ON_CALL(fileSystem, Exists(::testing::An<std::wstring>())).WillByDefault(Invoke([&](std::wstring) {
        return !removed.load();
    }));
    ON_CALL(fileSystem, RemoveAll(_, _)).WillByDefault(Invoke([&](std::wstring, int) { removed = true; }));
    bool resume = false;
    {
        S1::SetupController controller(settings, options, setup, launcher, fileSystem, web, system, kelmClient,
                                       kelmController);
        resume = S1::StartFirstAttempt(controller);
        controller.WaitAll();
        EXPECT_FALSE(controller.errorState.errorCode.has_value());
    }
    test::ClearTraceLogFile();
    EXPECT_TRUE(removed);
    EXPECT_TRUE(resume);
}

// These hold the machine-wide event of the product, so they share the installer runs' lock.
class Stage1FactoryRun : public Stage1FactoryTest {};

TEST_F(Stage1FactoryRun, ASecondStage1LeavesAtOnce)
{
    launcher.path = L"C:\\Users\\me\\Downloads\\HalvexInstall.exe";
    const std::optional<HANDLE> first = Vesk::Utilities::CreateSingleInstanceEvent(S1::kSingleInstanceEventName);
    ASSERT_TRUE(first.has_value());
    const HandleGuard firstGuard(*first);

    EXPECT_NO_THROW(Factory().Run());
    EXPECT_THAT(Log(), HasSubstr("ERROR : Stage 1 already running"));
    EXPECT_THAT(Log(), ::testing::Not(HasSubstr("Starting stage 2 download")));
}

TEST_F(Stage1FactoryRun, NoRootCertificateEndsTheRunBeforeAnyAttempt)
{
    launcher.path = (temp / L"HalvexInstall.exe").wstring();
    // An empty settings area: the file the launcher names is read for its stamp.
    std::filesystem::copy_file(test::FromBuildPath(HALVEX_INSTALL_EXE), launcher.path);
    settings.quiet = true;
    try {
        Factory().Run();
        FAIL() << "no exception";
    } catch (const Setup::FatalError& e) {
        EXPECT_EQ(e.Code(), Setup::FatalError::ExtractFailure);
    }
    EXPECT_THAT(Log(), ::testing::Not(HasSubstr("Starting stage 2 download")));
    // The event went with the run.
    const std::optional<HANDLE> again = Vesk::Utilities::CreateSingleInstanceEvent(S1::kSingleInstanceEventName);
    ASSERT_TRUE(again.has_value());
    CloseHandle(*again);
}

}  // namespace
