#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include <boost/signals2/signal.hpp>

#include "Utilities/FatalError.h"

namespace S1 {

enum InstallerStage : std::int32_t { Downloading = 0, Installing = 1, Failed = 2 };

struct ProgressState {
    std::uint32_t percent = 0;
};

// An empty errorCode means no failure.
struct ErrorState {
    bool canRetry = false;
    bool expired = false;
    std::optional<Setup::FatalError::Type> errorCode;
};

// What the error page drives.
class IErrorController {
public:
    virtual ~IErrorController() = default;
    virtual void Retry() = 0;
    virtual void OpenExpiredPage() = 0;
    virtual void Close() = 0;

    boost::signals2::signal<void(ErrorState)> OnErrorState;
    ErrorState errorState;
};

class IStageController {
public:
    virtual ~IStageController() = default;

    boost::signals2::signal<void(InstallerStage)> OnStage;
    InstallerStage stage = Downloading;
};

class IProgressController {
public:
    virtual ~IProgressController() = default;

    boost::signals2::signal<void(ProgressState)> OnProgress;
};

class ISuccessController {
public:
    virtual ~ISuccessController() = default;

    boost::signals2::signal<void()> OnSuccess;
    // Set before OnSuccess fires, for a window that connects after it has.
    std::atomic<bool> successSignalled{false};
};

}  // namespace S1
