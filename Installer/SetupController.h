#pragma once

#include <exception>
#include <mutex>
#include <string>

#include "Installer/IKelmClient.h"
#include "Installer/IKelmController.h"
#include "Installer/ISafeLauncher.h"
#include "Installer/IStage1Setup.h"
#include "Installer/SetupControllerInterfaces.h"
#include "Installer/Stage1Settings.h"
#include "Installer/VeskOptions.h"
#include "Shared/VeskUtilities/AsyncMethodCaller.h"
#include "Shared/VeskUtilities/IFileSystemHelper.h"
#include "Shared/VeskUtilities/ISystemHelper.h"
#include "Shared/VeskUtilities/IWebHelper.h"

namespace S1 {

// Runs install attempts, one at a time, each on a worker thread of its own, and tells the
// window what happens through its signals.
class SetupController : public IErrorController,
                        public IStageController,
                        public IProgressController,
                        public ISuccessController,
                        public Vesk::Utilities::AsyncMethodCaller {
public:
    static constexpr int kDownloadTries = 5;
    static constexpr int kMaximumAttempts = 5;

    SetupController(Stage1Settings& settings, const VeskOptions& options, IStage1Setup& setup,
                    const ISafeLauncher& safeLauncher, Vesk::Utilities::FileSystem::IFileSystemHelper& fileSystem,
                    Vesk::Utilities::Web::IWebHelper& web, Vesk::Utilities::System::ISystemHelper& system,
                    IKelmClient& kelmClient, IKelmController& kelmController);
    // Waits for the running attempt: it uses the signals and the references.
    ~SetupController() override;

    // Waits until the previous attempt has ended, then starts the next one and returns.
    void Start();
    bool HasResumeConfig();

    // Never waits: starts an attempt when none runs, or once the failed one has finished.
    void Retry() override;
    void OpenExpiredPage() override;
    void Close() override;

    void DownloadAndRunStage2();
    int Attempts() const { return attempts; }

private:
    struct AttemptState {
        bool resume = false;
        bool restart = false;
    };
    static constexpr int kCleanUpTries = 5;

    void GuardedAttempt();
    void RunAttempt();
    void SignalSuccess();
    void Fail(const ErrorState& state, const char* message, const char* detail) noexcept;
    template <class Step>
    void Guarded(const char* failure, Step step) noexcept;
    void CleanUpAttempt(const AttemptState& state) noexcept;
    void TimedDownload();
    void DownloadExtractAndVerify();
    void ResumeAfterRestart();
    std::wstring Stage2FileName(ProcessorArchitecture processor);
    void SendFailureReport();
    void Progress(std::uint32_t percent);
    void SetStage(InstallerStage value);

    int attempts = 0;
    std::mutex attemptMutex;
    // From the start of an attempt until its worker is done, failure report included.
    bool attemptRunning = false;
    bool attemptFailed = false;
    bool retryQueued = false;
    Vesk::Utilities::FileSystem::IFileSystemHelper& fileSystem;
    Vesk::Utilities::Web::IWebHelper& web;
    Vesk::Utilities::System::ISystemHelper& system;
    IStage1Setup& setup;
    Stage1Settings& settings;
    const VeskOptions& options;
    IKelmClient& kelmClient;
    IKelmController& kelmController;
    const ISafeLauncher& safeLauncher;
};

// The download host of unstamped installs.
extern const wchar_t* const kDefaultDownloadHost;

}  // namespace S1
