#include "Shared/VeskUtilities/AsyncMethodCaller.h"

#include <windows.h>

#include <process.h>

#include <exception>
#include <memory>
#include <system_error>

namespace Vesk::Utilities {

namespace {

struct CallRecord {
    AsyncMethodCaller* caller;
    std::function<void()> call;
};

}  // namespace

void AsyncMethodCaller::Start(std::function<void()> call)
{
    // Everything that can fail before the thread exists happens before the count is raised: a
    // count that is never taken back would hang every later wait.
    auto record = std::make_unique<CallRecord>(CallRecord{this, std::move(call)});
    {
        const std::lock_guard lock(mutex);
        ++running;
    }
    const uintptr_t thread = _beginthreadex(nullptr, 0, &ThreadMain, record.get(), 0, nullptr);
    if (thread == 0) {
        Finished();
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    record.release();  // the thread owns it now
    CloseHandle(reinterpret_cast<HANDLE>(thread));  // detached
}

void AsyncMethodCaller::Finished()
{
    // Notified under the lock: once it is released, a waiter may return and destroy this object,
    // condition variable included.
    const std::lock_guard lock(mutex);
    --running;
    idle.notify_all();
}

unsigned __stdcall AsyncMethodCaller::ThreadMain(void* argument)
{
    std::unique_ptr<CallRecord> record(static_cast<CallRecord*>(argument));
    // An exception cannot unwind through the system's thread start.
    try {
        record->call();
    } catch (...) {
        std::terminate();
    }
    AsyncMethodCaller* caller = record->caller;
    record.reset();
    caller->Finished();  // the last touch of the caller
    return 0;
}

void AsyncMethodCaller::WaitAll()
{
    std::unique_lock lock(mutex);
    idle.wait(lock, [this] { return running == 0; });
}

}  // namespace Vesk::Utilities
