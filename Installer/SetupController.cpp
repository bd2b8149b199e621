#include "Installer/SetupController.h"

#include <windows.h>

#include <filesystem>
#include <stdexcept>

#include "halvlib/String.h"
#include "Installer/EntryPoint.h"
#include "Installer/Validators.h"
#include "Shared/VeskUtilities/WebHosts.h"
#include "Utilities/FileSystem.h"
#include "Utilities/LogStatement.h"

namespace S1 {

const wchar_t* const kDefaultDownloadHost = L"downloads.halvex.com";

namespace {

// A failure kept across tries, thrown again with its own type, text and code.
struct KeptFailure {
    std::string text;
    std::optional<Setup::FatalError::Type> code;

    [[noreturn]] void Throw() const
    {
        if (code)
            throw Setup::FatalError(text, *code);
        throw std::runtime_error(text);
    }
};

}  // namespace

SetupController::SetupController(Stage1Settings& settings, const VeskOptions& options, IStage1Setup& setup,
                                 const ISafeLauncher& safeLauncher,
                                 Vesk::Utilities::FileSystem::IFileSystemHelper& fileSystem,
                                 Vesk::Utilities::Web::IWebHelper& web, Vesk::Utilities::System::ISystemHelper& system,
                                 IKelmClient& kelmClient, IKelmController& kelmController)
    : fileSystem(fileSystem), web(web), system(system), setup(setup), settings(settings), options(options),
      kelmClient(kelmClient), kelmController(kelmController), safeLauncher(safeLauncher)
{
}

SetupController::~SetupController()
{
    WaitAll();
}

void SetupController::Start()
{
    LOG_INFO << "Waiting for any stage 1 installation tasks to complete.";
    WaitAll();
    LOG_INFO << "Finished waiting for any installation tasks.";
    {
        std::lock_guard<std::mutex> lock(attemptMutex);
        attemptRunning = true;
        attemptFailed = false;
    }
    Run(&SetupController::DownloadAndRunStage2, this);
}

bool SetupController::HasResumeConfig()
{
    return fileSystem.Exists((std::filesystem::path(settings.workingFolder) / L"resume.json").wstring());
}

void SetupController::Retry()
{
    // Retry comes from the window thread, which must never wait here: the attempt's success
    // closes the window by sending it a message.
    {
        std::lock_guard<std::mutex> lock(attemptMutex);
        if (attemptRunning) {
            // A failed attempt still sending its report starts the retry itself when done; a
            // running one is already the attempt asked for.
            if (attemptFailed && !retryQueued) {
                retryQueued = true;
                LOG_INFO << "Retry will start when the failed attempt has finished.";
            }
            return;
        }
        attemptRunning = true;
        attemptFailed = false;
    }
    Run(&SetupController::DownloadAndRunStage2, this);
}

void SetupController::OpenExpiredPage()
{
    if (!errorState.expired)
        return;
    web.OpenUrl(Vesk::Utilities::GetAccountsUrl(options.region) + L"/r/expired-stage-1");
    SignalSuccess();
}

void SetupController::Close()
{
    SignalSuccess();
}

void SetupController::SignalSuccess()
{
    successSignalled = true;
    OnSuccess();
}

void SetupController::Progress(std::uint32_t percent)
{
    OnProgress(ProgressState{percent});
}

void SetupController::SetStage(InstallerStage value)
{
    stage = value;
    OnStage(value);
}

void SetupController::DownloadAndRunStage2()
{
    while (true) {
        GuardedAttempt();
        std::lock_guard<std::mutex> lock(attemptMutex);
        if (!retryQueued) {
            attemptRunning = false;
            return;
        }
        retryQueued = false;
        attemptFailed = false;
    }
}

void SetupController::GuardedAttempt()
{
    // The worker's edge: nothing may leave it, whatever a step, a subscriber or a report throws.
    try {
        RunAttempt();
    } catch (const Setup::FatalError& e) {
        const Setup::FatalError::Type code = e.Code();
        const bool expired = code == Setup::FatalError::ExpiredFailure;
        Fail({attempts < kMaximumAttempts && !expired, expired, code}, "Failed to download and run stage 2: ",
             e.what());
    } catch (const std::exception& e) {
        Fail({attempts < kMaximumAttempts, false, Setup::FatalError::Unknown},
             "Failed to download and run stage 2 unknown error: ", e.what());
    } catch (...) {
        Fail({attempts < kMaximumAttempts, false, Setup::FatalError::Unknown},
             "Failed to download and run stage 2 unknown error: ", "unknown exception");
    }
}

void SetupController::Fail(const ErrorState& state, const char* message, const char* detail) noexcept
{
    // Each step is guarded on its own, so a subscriber that throws neither ends the process nor
    // keeps the stage, the log line or the report from happening.
    errorState = state;
    {
        std::lock_guard<std::mutex> lock(attemptMutex);
        attemptFailed = true;
    }
    Guarded("Failed to signal the error state: ", [this] { OnErrorState(errorState); });
    Guarded("Failed to signal the failed stage: ", [this] { SetStage(Failed); });
    LOG_ERROR << message << detail;
    Guarded("Failed to send the failure report: ", [this] { SendFailureReport(); });
}

template <class Step>
void SetupController::Guarded(const char* failure, Step step) noexcept
{
    try {
        step();
    } catch (const std::exception& e) {
        LOG_ERROR << failure << e.what();
    } catch (...) {
        LOG_ERROR << failure << "unknown exception";
    }
}

void SetupController::RunAttempt()
{
    LOG_INFO << "Starting stage 2 download";
    SetStage(Downloading);
    errorState = ErrorState{};
    OnErrorState(errorState);
    Progress(0);
    ++attempts;

    kelmController.Refresh();
    Progress(5);
    if (kelmController.IsStage1Retired(kStage1Version))
        throw Setup::FatalError("Retired stage 1 via KELM.", Setup::FatalError::ExpiredFailure);
    if (!settings.customertoken.empty())
        setup.validateMandatorySettings(settings);

    AttemptState state;
    state.resume = HasResumeConfig();
    // Cleans up when the attempt leaves, normally or by an exception, before the failure is handled.
    const struct CleanUpGuard {
        SetupController& controller;
        const AttemptState& state;
        ~CleanUpGuard() { controller.CleanUpAttempt(state); }
    } cleanUp{*this, state};

    if (state.resume) {
        LOG_INFO << "Resume config detected. Attempting to resume after restart";
        ResumeAfterRestart();
    } else {
        TimedDownload();
    }
    SignalSuccess();
    const std::vector<Stage2Argument> extraArguments = options.Stage2Arguments();
    Progress(100);
    SetStage(Installing);
    state.restart = setup.RunStage2(extraArguments, settings);
    if (state.restart) {
        LOG_INFO << "Restarting machine";
        system.Restart();
    }
}

void SetupController::CleanUpAttempt(const AttemptState& state) noexcept
{
    try {
        if (state.resume && !fileSystem.DeleteAtReboot(safeLauncher.GetLauncherPath()))
            LOG_ERROR << "Failed to set pending delete for temporary stage1";
    } catch (...) {
        LOG_ERROR << "Failed to set pending delete for temporary stage1";
    }
    if (state.restart) {
        LOG_INFO << "Doing restart - not cleaning up extraction directory";
        return;
    }
    LOG_INFO << "Cleaning up extracted files";
    try {
        fileSystem.RemoveAll(settings.workingFolder, kCleanUpTries);
    } catch (const std::exception& e) {
        LOG_ERROR << "Failed to cleanup extracted files '" << settings.workingFolder << "': " << e.what();
    } catch (...) {
        LOG_ERROR << "Failed to cleanup extracted files '" << settings.workingFolder << "': unknown exception";
    }
}

void SetupController::TimedDownload()
{
    const ULONGLONG start = GetTickCount64();
    std::optional<KeptFailure> failure;
    for (int attempt = 1; attempt <= kDownloadTries; ++attempt) {
        failure.reset();
        try {
            DownloadExtractAndVerify();
            break;
        } catch (const Setup::FatalError& e) {
            LOG_ERROR << "Failed to download and extract stage 2 on attempt " << attempt << ": " << e.what();
            failure = KeptFailure{e.what(), e.Code()};
        } catch (const std::exception& e) {
            LOG_ERROR << "Failed to download and extract stage 2 on attempt " << attempt << ": " << e.what();
            failure = KeptFailure{e.what(), std::nullopt};
        }
    }
    if (failure)
        failure->Throw();
    const ULONGLONG seconds = (GetTickCount64() - start) / 1000;
    LOG_INFO << "Downloaded stage 2 in " << seconds << " seconds";
    kelmClient.QueryAsync(L"?stage2downloadTime=" + std::to_wstring(seconds));
}

void SetupController::DownloadExtractAndVerify()
{
    utilities::RemoveAll(settings.workingFolder);
    const ProcessorArchitecture processor = setup.GetStage2Architecture();
    std::wstring fileName;
    std::wstring host;
    if (!settings.customertoken.empty()) {
        LOG_INFO << "Stamped install, fetching stage2 information from corvale";
        const Stage2Details details = setup.GetStage2Details(settings.customertoken, settings.epinstallerserver,
                                                             settings.noproxydetection, settings, processor);
        settings.mgmtserver = details.qorServer;
        fileName = details.stage2Filename;
        host = details.downloadsServer;
    } else {
        LOG_INFO << "Unstamped install, fetching stage2 information from KELM";
        fileName = Stage2FileName(processor);
        host = kDefaultDownloadHost;
    }
    Progress(25);
    const std::vector<char> archive = setup.DownloadStage2(host, fileName, settings.noproxydetection, settings);
    Progress(75);
    setup.ExtractAndVerifyStage2(archive, settings.usecertificatesfolder, settings.workingFolder);
    Progress(80);
    bool copied = false;
    try {
        copied = fileSystem.CopyFileTo(safeLauncher.GetLauncherPath(),
                                       (std::filesystem::path(settings.workingFolder) / L"HalvexInstall.exe").wstring());
    } catch (const std::exception&) {
    }
    if (!copied)
        LOG_ERROR << "Failed to copy self to resumable path, will be unable to continue install after restart.";
    Progress(85);
}

std::wstring SetupController::Stage2FileName(ProcessorArchitecture processor)
{
    std::optional<std::wstring> name;
    if (processor == ProcessorArchitecture::ARM64)
        name = kelmController.GetStage2FileNameArm64();
    if (!name)
        name = kelmController.GetStage2FileName();
    if (!name)
        throw Setup::FatalError("Could not get stage 2 filename from kelm", Setup::FatalError::DownloadFailure);
    // The name comes from the service's document and becomes part of the download path.
    ValidateStage2FileName(WideToUtf8(*name), Setup::FatalError::DownloadFailure);
    return *name;
}

void SetupController::ResumeAfterRestart()
{
    Progress(25);
    try {
        setup.VerifyCachedStage2(settings.usecertificatesfolder, settings.workingFolder);
        Progress(85);
        return;
    } catch (const Setup::FatalError& e) {
        LOG_ERROR << "Failed to verify integrity of cached stage 2, files may have been tampered with " << e.what();
    } catch (const std::logic_error& e) {
        LOG_ERROR << "Failed to find files required to verify integrity of cached stage 2, files may have been "
                     "tampered with "
                  << e.what();
    }
    TimedDownload();
}

void SetupController::SendFailureReport()
{
    const std::wstring& kind = Setup::GetReportName(errorState.errorCode.value_or(Setup::FatalError::Unknown));
    kelmClient.QueryAsync(L"?stage1Failure=" + kind + L"&attempt=" + std::to_wstring(attempts));
}

}  // namespace S1
