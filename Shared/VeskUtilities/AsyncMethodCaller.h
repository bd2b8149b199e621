#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <type_traits>
#include <utility>

namespace Vesk::Utilities {

// Runs member functions on detached threads and lets the owner wait until none runs; the
// destructor waits, so an owner outlives the calls it started.
class AsyncMethodCaller {
public:
    AsyncMethodCaller() = default;
    AsyncMethodCaller(const AsyncMethodCaller&) = delete;
    AsyncMethodCaller& operator=(const AsyncMethodCaller&) = delete;
    ~AsyncMethodCaller() { WaitAll(); }

    template <class T>
    void Run(void (T::*method)(), T* object)
    {
        Start([method, object] { (object->*method)(); });
    }

    // The argument is copied into the call: the caller's may be gone before the thread starts.
    template <class T, class Argument>
    void Run(void (T::*method)(Argument), T* object, std::decay_t<Argument> argument)
    {
        Start([method, object, argument = std::move(argument)] { (object->*method)(argument); });
    }

    void WaitAll();

private:
    // Throws std::system_error (resource_unavailable_try_again) when no thread can be started.
    void Start(std::function<void()> call);
    static unsigned __stdcall ThreadMain(void* record);
    void Finished();

    int running = 0;
    std::condition_variable idle;
    std::mutex mutex;
};

}  // namespace Vesk::Utilities
