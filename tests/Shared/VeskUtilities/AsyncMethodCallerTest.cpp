#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "Shared/VeskUtilities/AsyncMethodCaller.h"

using Vesk::Utilities::AsyncMethodCaller;

namespace {

// The test thread's allocations fail at this count (0: never), so every allocation that Run makes
// can be made to fail in turn.
thread_local int allocationsUntilFailure = 0;

}  // namespace

void* operator new(std::size_t size)
{
    if (allocationsUntilFailure > 0 && --allocationsUntilFailure == 0)
        throw std::bad_alloc();
    // The process heap rather than malloc, so the compiler sees no malloc/free pair to judge.
    if (void* memory = HeapAlloc(GetProcessHeap(), 0, size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    if (memory)
        HeapFree(GetProcessHeap(), 0, memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    operator delete(memory);
}

namespace {

struct Counter {
    std::atomic<int> calls{0};
    void Call() { ++calls; }
};

TEST(AsyncMethodCaller, DestructorWaitsForEveryCall)
{
    Counter counter;
    {
        AsyncMethodCaller caller;
        for (int i = 0; i < 20; ++i)
            caller.Run(&Counter::Call, &counter);
    }
    EXPECT_EQ(counter.calls.load(), 20);
}

// What the slow call and the test share. Not members of the owner: the call runs on while the
// owner's own members are already gone, and only its caller base is still waiting.
HANDLE destroying = nullptr;
std::atomic<bool> finished{false};

// An owner whose destructor starts while its call still runs, as the controller's does when the
// window closes during an attempt.
class SlowOwner : public AsyncMethodCaller {
public:
    ~SlowOwner() { SetEvent(destroying); }

    void Work()
    {
        WaitForSingleObject(destroying, INFINITE);
        // Long enough that a destructor which does not wait is certainly gone first.
        Sleep(300);
        finished = true;
    }
};

TEST(AsyncMethodCaller, DestructorWaitsForARunningCall)
{
    destroying = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(destroying, nullptr);
    finished = false;
    {
        auto owner = std::make_unique<SlowOwner>();
        owner->Run(&SlowOwner::Work, owner.get());
    }
    EXPECT_TRUE(finished.load());
    CloseHandle(destroying);
}

TEST(AsyncMethodCaller, AnOwnerDestroyedRightAfterItsLastCallSurvives)
{
    // The caller's condition variable dies with the owner as soon as a waiter returns: the worker
    // must be done with it by then.
    Counter counter;
    for (int i = 0; i < 300; ++i) {
        auto caller = std::make_unique<AsyncMethodCaller>();
        caller->Run(&Counter::Call, &counter);
        caller->WaitAll();
    }
    EXPECT_EQ(counter.calls.load(), 300);
}

TEST(AsyncMethodCaller, AnAllocationFailureInRunCountsNoCall)
{
    Counter counter;
    AsyncMethodCaller caller;
    for (int failing = 1;; ++failing) {
        ASSERT_LT(failing, 50) << "Run kept failing";
        allocationsUntilFailure = failing;
        bool failed = false;
        try {
            caller.Run(&Counter::Call, &counter);
        } catch (const std::bad_alloc&) {
            failed = true;
        }
        allocationsUntilFailure = 0;
        caller.WaitAll();  // hangs when a failed Run left its call counted
        if (!failed)
            break;
    }
    EXPECT_EQ(counter.calls.load(), 1);
}

struct Recorder {
    std::mutex mutex;
    std::vector<std::wstring> texts;
    void Record(const std::wstring& text)
    {
        const std::lock_guard lock(mutex);
        texts.push_back(text);
    }
};

TEST(AsyncMethodCaller, AnArgumentIsCopiedIntoTheCall)
{
    Recorder recorder;
    {
        AsyncMethodCaller caller;
        for (int i = 0; i < 5; ++i) {
            std::wstring text = L"report " + std::to_wstring(i);
            caller.Run(&Recorder::Record, &recorder, text);
            text.assign(L"changed after Run");
        }
    }
    std::sort(recorder.texts.begin(), recorder.texts.end());
    EXPECT_EQ(recorder.texts, (std::vector<std::wstring>{L"report 0", L"report 1", L"report 2", L"report 3", L"report 4"}));
}

}  // namespace
