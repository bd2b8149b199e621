#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "halvlib/String.h"
#include "Installer/SetupController.h"
#include "SetupControllerFakes.h"
#include "StartupFakes.h"
#include "support/TempFolder.h"
#include "support/TraceLogReset.h"

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::Throw;
using S1::ErrorState;
using Setup::FatalError;

namespace S1 {

bool operator==(const ErrorState& a, const ErrorState& b)
{
    return a.canRetry == b.canRetry && a.expired == b.expired && a.errorCode == b.errorCode;
}

void PrintTo(const ErrorState& e, std::ostream* out)
{
    *out << "{" << e.canRetry << "," << e.expired << "," << (e.errorCode ? int(*e.errorCode) : -1) << "}";
}

}  // namespace S1

namespace {

// Everything the controller's signals said, in order.
struct Recorder {
    std::mutex mutex;
    std::vector<S1::InstallerStage> stages;
    std::vector<unsigned> progress;
    std::vector<ErrorState> errors;
    int successes = 0;
};

class SetupControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetTraceLogFile((temp / L"trace.log").wstring());
        settings.workingFolder = (temp / L"CloudInstaller").wstring();
        ON_CALL(kelmController, GetStage2FileName()).WillByDefault(Return(L"stage2.tar.gz"));
        ON_CALL(launcher, GetLauncherPath()).WillByDefault(Return(L"C:\\Temp\\HalvexInstall_1.exe"));
        ON_CALL(setup, GetStage2Architecture()).WillByDefault(Return(ProcessorArchitecture::X64));
        ON_CALL(fileSystem, CopyFileTo(_, _)).WillByDefault(Return(true));
        controller.OnStage.connect([this](S1::InstallerStage s) { std::lock_guard l(r.mutex); r.stages.push_back(s); });
        controller.OnProgress.connect([this](S1::ProgressState p) { std::lock_guard l(r.mutex); r.progress.push_back(p.percent); });
        controller.OnErrorState.connect([this](ErrorState e) { std::lock_guard l(r.mutex); r.errors.push_back(e); });
        controller.OnSuccess.connect([this] { std::lock_guard l(r.mutex); ++r.successes; });
    }
    void TearDown() override
    {
        controller.WaitAll();
        test::ClearTraceLogFile();
    }

    void Attempt()
    {
        controller.Start();
        controller.WaitAll();
    }

    std::string Log() { return test::ReadFile(temp / L"trace.log"); }

    test::TempFolder temp;
    Stage1Settings settings = mergeSettings({}, {});
    S1::VeskOptions options{{}, std::nullopt};
    NiceMock<test::MockStage1Setup> setup;
    NiceMock<test::MockSafeLauncher> launcher;
    NiceMock<test::MockFileSystem> fileSystem;
    NiceMock<test::MockWeb> web;
    NiceMock<test::MockSystem> system;
    NiceMock<test::MockKelmClient> kelmClient;
    NiceMock<test::MockKelmController> kelmController;
    Recorder r;
    S1::SetupController controller{settings, options, setup, launcher, fileSystem, web, system, kelmClient, kelmController};
};


TEST_F(SetupControllerTest, SuccessfulUnstampedAttempt)
{
    {
        InSequence order;
        EXPECT_CALL(kelmController, Refresh());
        EXPECT_CALL(kelmController, IsStage1Retired("1.4.0.397")).WillOnce(Return(false));
        EXPECT_CALL(setup, DownloadStage2(std::wstring(S1::kDefaultDownloadHost), std::wstring(L"stage2.tar.gz"), false, _))
            .WillOnce(Return(std::vector<char>{'a'}));
        EXPECT_CALL(setup, ExtractAndVerifyStage2(std::vector<char>{'a'}, false, settings.workingFolder));
        EXPECT_CALL(fileSystem, CopyFileTo(std::wstring(L"C:\\Temp\\HalvexInstall_1.exe"), settings.workingFolder + std::wstring(L"\\HalvexInstall.exe")))
            .WillOnce(Return(true));
        EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage2downloadTime=0")));
        EXPECT_CALL(setup, RunStage2(std::vector<S1::Stage2Argument>{{L"region", L"prod"}}, _)).WillOnce(Return(false));
        EXPECT_CALL(fileSystem, RemoveAll(settings.workingFolder, 5));
    }
    EXPECT_CALL(setup, validateMandatorySettings(_)).Times(0);
    EXPECT_CALL(system, Restart()).Times(0);
    Attempt();
    EXPECT_THAT(r.stages, ElementsAre(S1::Downloading, S1::Installing));
    EXPECT_THAT(r.progress, ElementsAre(0u, 5u, 25u, 75u, 80u, 85u, 100u));
    EXPECT_THAT(r.errors, ElementsAre(ErrorState{}));
    EXPECT_EQ(r.successes, 1);
    EXPECT_FALSE(controller.errorState.errorCode);
    EXPECT_THAT(Log(), HasSubstr(" INFO : Cleaning up extracted files\r\n"));
}

TEST_F(SetupControllerTest, ExpiredStage1)
{
    std::filesystem::create_directories(settings.workingFolder);
    EXPECT_CALL(kelmController, IsStage1Retired(_)).WillOnce(Return(true));
    EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage1Failure=expired_failure&attempt=1")));
    EXPECT_CALL(fileSystem, RemoveAll(_, _)).Times(0);
    EXPECT_CALL(setup, DownloadStage2(_, _, _, _)).Times(0);
    Attempt();
    EXPECT_EQ(controller.errorState, (ErrorState{false, true, FatalError::ExpiredFailure}));
    EXPECT_THAT(r.stages, ElementsAre(S1::Downloading, S1::Failed));
    EXPECT_TRUE(std::filesystem::exists(settings.workingFolder)) << "the working folder is not touched";
    EXPECT_THAT(Log(), HasSubstr(" ERROR : Failed to download and run stage 2: Retired stage 1 via KELM.\r\n"));
    EXPECT_EQ(r.successes, 0);
}

TEST_F(SetupControllerTest, FiveTriesThenTheLastFailure)
{
    int tries = 0;
    EXPECT_CALL(setup, DownloadStage2(_, _, _, _)).Times(5).WillRepeatedly(Invoke([&](auto&&...) -> std::vector<char> {
        throw FatalError("Stage 2 not found " + std::to_string(++tries), FatalError::ExpiredFailure);
    }));
    EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage1Failure=expired_failure&attempt=1")));
    EXPECT_CALL(fileSystem, RemoveAll(settings.workingFolder, 5));
    Attempt();
    const std::string log = Log();
    for (int i = 1; i <= 5; ++i)
        EXPECT_THAT(log, HasSubstr("Failed to download and extract stage 2 on attempt " + std::to_string(i) +
                                   ": Stage 2 not found " + std::to_string(i) + "\r\n"));
    EXPECT_THAT(log, HasSubstr("Failed to download and run stage 2: Stage 2 not found 5\r\n"));
    EXPECT_EQ(controller.errorState, (ErrorState{false, true, FatalError::ExpiredFailure}));
}

TEST_F(SetupControllerTest, UnknownFailuresCanBeRetriedFourTimes)
{
    ON_CALL(setup, DownloadStage2(_, _, _, _)).WillByDefault(Throw(std::runtime_error("connection reset")));
    for (int attempt = 1; attempt <= 5; ++attempt) {
        EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage1Failure=unknown&attempt=") + std::to_wstring(attempt)));
        if (attempt == 1)
            Attempt();
        else {
            controller.Retry();
            controller.WaitAll();
        }
        EXPECT_EQ(controller.errorState, (ErrorState{attempt < 5, false, FatalError::Unknown})) << attempt;
    }
    EXPECT_THAT(Log(), HasSubstr("Failed to download and run stage 2 unknown error: connection reset\r\n"));
}

TEST_F(SetupControllerTest, MissingFileNameIsADownloadFailure)
{
    EXPECT_CALL(setup, GetStage2Architecture()).WillRepeatedly(Return(ProcessorArchitecture::ARM64));
    EXPECT_CALL(kelmController, GetStage2FileNameArm64()).WillRepeatedly(Return(std::nullopt));
    EXPECT_CALL(kelmController, GetStage2FileName()).WillRepeatedly(Return(std::nullopt));
    Attempt();
    EXPECT_EQ(controller.errorState, (ErrorState{true, false, FatalError::DownloadFailure}));
    EXPECT_THAT(Log(), HasSubstr("on attempt 5: Could not get stage 2 filename from kelm\r\n"));
}

TEST_F(SetupControllerTest, Arm64AsksForItsOwnFileName)
{
    EXPECT_CALL(setup, GetStage2Architecture()).WillOnce(Return(ProcessorArchitecture::ARM64));
    EXPECT_CALL(kelmController, GetStage2FileNameArm64()).WillOnce(Return(std::wstring(L"arm.tar.gz")));
    EXPECT_CALL(setup, DownloadStage2(_, std::wstring(L"arm.tar.gz"), _, _));
    Attempt();
    EXPECT_FALSE(controller.errorState.errorCode);
}

TEST_F(SetupControllerTest, StampedAttemptAsksTheManagementApi)
{
    settings.customertoken = L"token";
    settings.epinstallerserver = L"ep.halvex.com";
    settings.noproxydetection = true;
    EXPECT_CALL(setup, validateMandatorySettings(_));
    EXPECT_CALL(setup, GetStage2Details(std::wstring(L"token"), std::wstring(L"ep.halvex.com"), true, _, ProcessorArchitecture::X64))
        .WillOnce(Return(S1::Stage2Details{std::wstring(L"s2.tar.gz"), std::wstring(L"qor.halvex.com"), std::wstring(L"dl.halvex.com"), {}, {}}));
    EXPECT_CALL(setup, DownloadStage2(std::wstring(L"dl.halvex.com"), std::wstring(L"s2.tar.gz"), true, _));
    EXPECT_CALL(kelmController, GetStage2FileName()).Times(0);
    Attempt();
    EXPECT_EQ(settings.mgmtserver, L"qor.halvex.com");
    EXPECT_THAT(Log(), HasSubstr(" INFO : Stamped install, fetching stage2 information from corvale\r\n"));
}

TEST_F(SetupControllerTest, ResumeFallsBackToADownloadWhenTheCacheFailsVerification)
{
    EXPECT_CALL(fileSystem, Exists(settings.workingFolder + std::wstring(L"\\resume.json"))).WillRepeatedly(Return(true));
    EXPECT_CALL(setup, VerifyCachedStage2(false, settings.workingFolder))
        .WillOnce(Throw(FatalError("digest mismatch", FatalError::ManifestError)));
    EXPECT_CALL(setup, DownloadStage2(_, _, _, _));
    EXPECT_CALL(fileSystem, DeleteAtReboot(std::wstring(L"C:\\Temp\\HalvexInstall_1.exe"))).WillOnce(Return(false));
    Attempt();
    EXPECT_TRUE(controller.HasResumeConfig());
    EXPECT_FALSE(controller.errorState.errorCode);
    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr(" INFO : Resume config detected. Attempting to resume after restart\r\n"));
    EXPECT_THAT(log, HasSubstr(" ERROR : Failed to verify integrity of cached stage 2, files may have been tampered "
                               "with digest mismatch\r\n"));
    EXPECT_THAT(log, HasSubstr(" ERROR : Failed to set pending delete for temporary stage1\r\n"));
    EXPECT_THAT(r.progress, ElementsAre(0u, 5u, 25u, 25u, 75u, 80u, 85u, 100u));
}

TEST_F(SetupControllerTest, RestartKeepsTheWorkingFolder)
{
    EXPECT_CALL(setup, RunStage2(_, _)).WillOnce(Return(true));
    EXPECT_CALL(system, Restart()).WillOnce(Return(true));
    EXPECT_CALL(fileSystem, RemoveAll(_, _)).Times(0);
    Attempt();
    EXPECT_THAT(Log(), HasSubstr(" INFO : Doing restart - not cleaning up extraction directory\r\n"));
}

TEST_F(SetupControllerTest, StageTwoFailureAfterTheWindowClosed)
{
    EXPECT_CALL(setup, RunStage2(_, _)).WillOnce(Throw(FatalError("Stage 2 exited with 3", FatalError::LaunchFailure)));
    EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage2downloadTime=0")));
    EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage1Failure=launch_failure&attempt=1")));
    EXPECT_CALL(fileSystem, RemoveAll(settings.workingFolder, 5))
        .WillOnce(Throw(std::runtime_error("in use")));
    Attempt();
    EXPECT_EQ(r.successes, 1);
    EXPECT_THAT(r.stages, ElementsAre(S1::Downloading, S1::Installing, S1::Failed));
    EXPECT_THAT(Log(), HasSubstr(" ERROR : Failed to cleanup extracted files '" + EscapeLogText(WideToUtf8(settings.workingFolder)) +
                                 "': in use\r\n"));
}

TEST_F(SetupControllerTest, ExpiredPageOnlyForAnExpiry)
{
    controller.OpenExpiredPage();
    EXPECT_EQ(r.successes, 0);
    EXPECT_CALL(kelmController, IsStage1Retired(_)).WillOnce(Return(true));
    Attempt();
    EXPECT_CALL(web, OpenUrl(std::wstring(L"https://accounts.halvex.com/r/expired-stage-1"))).WillOnce(Return(true));
    controller.OpenExpiredPage();
    EXPECT_EQ(r.successes, 1);
    controller.Close();
    EXPECT_EQ(r.successes, 2);
}

TEST_F(SetupControllerTest, ThrowingSubscribersAndReportsEndNoProcess)
{
    // Every kind of exception reaches the edge: a step that throws something that is not a
    // standard exception, then subscribers and the report that throw while the failure is handled.
    EXPECT_CALL(kelmController, Refresh()).WillOnce(Invoke([] { throw 42; })).WillOnce(Return());
    controller.OnErrorState.connect([](ErrorState e) {
        if (e.errorCode)
            throw std::runtime_error("error page gone");
    });
    controller.OnStage.connect([](S1::InstallerStage s) {
        if (s == S1::Failed)
            throw "window gone";
    });
    EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage1Failure=unknown&attempt=1")))
        .WillOnce(Throw(std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again))));
    Attempt();
    EXPECT_EQ(controller.errorState, (ErrorState{true, false, FatalError::Unknown}));
    EXPECT_EQ(controller.stage, S1::Failed);
    EXPECT_THAT(r.stages, ElementsAre(S1::Downloading, S1::Failed));
    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr(" ERROR : Failed to download and run stage 2 unknown error: unknown exception\r\n"));
    EXPECT_THAT(log, HasSubstr(" ERROR : Failed to signal the error state: error page gone\r\n"));
    EXPECT_THAT(log, HasSubstr(" ERROR : Failed to signal the failed stage: unknown exception\r\n"));
    EXPECT_THAT(log, HasSubstr(" ERROR : Failed to send the failure report: "));

    // The controller still works afterwards.
    EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage2downloadTime=0")));
    controller.Retry();
    controller.WaitAll();
    EXPECT_EQ(controller.Attempts(), 2);
    EXPECT_FALSE(controller.errorState.errorCode);
}

TEST_F(SetupControllerTest, AStaleWorkingFolderIsRemovedBeforeEachTry)
{
    // What an earlier attempt left, read-only as an extracted stage 2 is.
    const std::filesystem::path stale = std::filesystem::path(settings.workingFolder) / L"extract_cache" / L"setup.dll";
    std::filesystem::create_directories(stale.parent_path());
    test::WriteFile(stale, "old");
    ASSERT_TRUE(SetFileAttributesW(stale.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(stale.parent_path().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
    int tries = 0;
    EXPECT_CALL(setup, DownloadStage2(_, _, _, _)).Times(2).WillRepeatedly(Invoke([&](auto&&...) {
        EXPECT_FALSE(std::filesystem::exists(settings.workingFolder)) << "try " << tries + 1;
        if (++tries == 1) {
            std::filesystem::create_directories(stale.parent_path());
            test::WriteFile(stale, "half");
            SetFileAttributesW(stale.c_str(), FILE_ATTRIBUTE_READONLY);
            throw std::runtime_error("connection reset");
        }
        return std::vector<char>{'a'};
    }));
    Attempt();
    EXPECT_FALSE(controller.errorState.errorCode);
    EXPECT_THAT(Log(), HasSubstr("Failed to download and extract stage 2 on attempt 1: connection reset\r\n"));
}

TEST_F(SetupControllerTest, AVerifiedResumeNeedsNoDownload)
{
    EXPECT_CALL(fileSystem, Exists(settings.workingFolder + std::wstring(L"\\resume.json"))).WillRepeatedly(Return(true));
    {
        InSequence order;
        EXPECT_CALL(setup, VerifyCachedStage2(false, settings.workingFolder));
        EXPECT_CALL(setup, RunStage2(_, _)).WillOnce(Return(false));
        EXPECT_CALL(fileSystem, DeleteAtReboot(std::wstring(L"C:\\Temp\\HalvexInstall_1.exe"))).WillOnce(Return(true));
        EXPECT_CALL(fileSystem, RemoveAll(settings.workingFolder, 5));
    }
    EXPECT_CALL(setup, DownloadStage2(_, _, _, _)).Times(0);
    EXPECT_CALL(setup, ExtractAndVerifyStage2(_, _, _)).Times(0);
    EXPECT_CALL(fileSystem, CopyFileTo(_, _)).Times(0);
    EXPECT_CALL(kelmClient, QueryAsync(_)).Times(0);
    Attempt();
    EXPECT_FALSE(controller.errorState.errorCode);
    EXPECT_EQ(r.successes, 1);
    EXPECT_THAT(r.progress, ElementsAre(0u, 5u, 25u, 85u, 100u));
    EXPECT_THAT(r.stages, ElementsAre(S1::Downloading, S1::Installing));
    EXPECT_THAT(Log(), ::testing::Not(HasSubstr("Downloaded stage 2 in")));
}

// The window thread calls Retry; were it to wait for the running attempt, that attempt's success,
// which closes the window by sending it a message, would never return.
TEST_F(SetupControllerTest, RetryNeverWaitsForARunningAttempt)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    EXPECT_CALL(kelmController, Refresh()).Times(1).WillOnce(Invoke([&] { released.wait(); }));
    controller.Start();
    auto retry = std::async(std::launch::async, [&] { controller.Retry(); });
    EXPECT_EQ(retry.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "Retry waited";
    release.set_value();
    controller.WaitAll();
    // The attempt already running was the one asked for.
    EXPECT_EQ(controller.Attempts(), 1);
    EXPECT_FALSE(controller.errorState.errorCode);
}

TEST_F(SetupControllerTest, RetryWhileAFailedAttemptReportsRunsOnceItHasFinished)
{
    ON_CALL(setup, DownloadStage2(_, _, _, _)).WillByDefault(Throw(std::runtime_error("connection reset")));
    std::future<void> retries;
    EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage1Failure=unknown&attempt=1"))).WillOnce(Invoke([&](auto) {
        // The page already shows the failure while the report is still on its way: two clicks.
        retries = std::async(std::launch::async, [&] {
            controller.Retry();
            controller.Retry();
        });
        EXPECT_EQ(retries.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "Retry waited";
    }));
    EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage1Failure=unknown&attempt=2")));
    Attempt();
    controller.WaitAll();
    EXPECT_EQ(controller.Attempts(), 2);
    EXPECT_EQ(controller.errorState, (ErrorState{true, false, FatalError::Unknown}));
    EXPECT_THAT(Log(), HasSubstr("Retry will start when the failed attempt has finished."));
}

TEST_F(SetupControllerTest, SuccessIsRecordedBeforeItIsSignalled)
{
    bool recorded = false;
    controller.OnSuccess.connect([&] { recorded = controller.successSignalled; });
    EXPECT_FALSE(controller.successSignalled);
    Attempt();
    EXPECT_TRUE(recorded);
}

struct BadFileNameCase {
    const char* name;
    const wchar_t* fileName;
    const char* failure;
};

void PrintTo(const BadFileNameCase& c, std::ostream* out)
{
    *out << c.name;
}

class SetupControllerBadFileNameTest : public SetupControllerTest,
                                       public ::testing::WithParamInterface<BadFileNameCase> {};

// The names come from the service's document: one that is not a plain archive name never reaches
// the download.
TEST_P(SetupControllerBadFileNameTest, FailsTheAttemptBeforeAnyDownload)
{
    EXPECT_CALL(kelmController, GetStage2FileName()).WillRepeatedly(Return(std::wstring(GetParam().fileName)));
    EXPECT_CALL(setup, DownloadStage2(_, _, _, _)).Times(0);
    EXPECT_CALL(setup, ExtractAndVerifyStage2(_, _, _)).Times(0);
    EXPECT_CALL(kelmClient, QueryAsync(std::wstring(L"?stage1Failure=download_failure&attempt=1")));
    Attempt();
    EXPECT_EQ(controller.errorState, (ErrorState{true, false, FatalError::DownloadFailure}));
    EXPECT_THAT(Log(), HasSubstr("on attempt 5: " + std::string(GetParam().failure) + "\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, SetupControllerBadFileNameTest,
    ::testing::Values(
        BadFileNameCase{"BackslashTraversal", L"..\\..\\Windows\\evil.tar.gz", "Filename contains illegal characters"},
        BadFileNameCase{"Query", L"stage2.tar.gz?x=../../evil.tar.gz", "Filename contains illegal characters"},
        BadFileNameCase{"NotAnArchive", L"stage2.exe", "Filename does not have the expected extension, but :'.tar.gz'"},
        BadFileNameCase{"NonAscii", L"st\u00e4ge2.tar.gz", "Filename contains illegal characters"},
        BadFileNameCase{"Empty", L"", "Filename does not have the expected extension, but :'.tar.gz'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupControllerTest, AnUnsafeArm64NameIsNotReplacedByTheOrdinaryOne)
{
    EXPECT_CALL(setup, GetStage2Architecture()).WillRepeatedly(Return(ProcessorArchitecture::ARM64));
    EXPECT_CALL(kelmController, GetStage2FileNameArm64()).WillRepeatedly(Return(std::wstring(L"arm 64.tar.gz")));
    EXPECT_CALL(setup, DownloadStage2(_, _, _, _)).Times(0);
    Attempt();
    EXPECT_EQ(controller.errorState, (ErrorState{true, false, FatalError::DownloadFailure}));
    EXPECT_THAT(Log(), HasSubstr("on attempt 5: Filename contains illegal characters\r\n"));
}

}  // namespace
