#include "F3/AnimationScheduler.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "F3/AnimationStoryboard.h"
#include "F3/AnimationVariable.h"

namespace F3 {

namespace {

constexpr HRESULT ShutdownCalled = static_cast<HRESULT>(0x802A0002L);      // UI_E_SHUTDOWN_CALLED
constexpr HRESULT StoryboardActive = static_cast<HRESULT>(0x802A0101L);    // UI_E_STORYBOARD_ACTIVE
constexpr HRESULT TimeBeforeLastUpdate = static_cast<HRESULT>(0x802A0109L);  // UI_E_TIME_BEFORE_LAST_UPDATE

bool Active(UI_ANIMATION_STORYBOARD_STATUS status)
{
    return status == UI_ANIMATION_STORYBOARD_SCHEDULED || status == UI_ANIMATION_STORYBOARD_PLAYING;
}

}  // namespace

HRESULT AnimationScheduler::CreateAnimationVariable(double initialValue, IUIAnimationVariable2** variable)
{
    if (variable == nullptr)
        return E_POINTER;
    *variable = nullptr;
    if (shutDown)
        return ShutdownCalled;
    if (!std::isfinite(initialValue))
        return E_INVALIDARG;
    try {
        auto created = MakeComObject<AnimationVariable>(this, initialValue);
        variables.push_back(created.Get());
        *variable = created.Detach();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT AnimationScheduler::CreateStoryboard(IUIAnimationStoryboard2** storyboard)
{
    if (storyboard == nullptr)
        return E_POINTER;
    *storyboard = nullptr;
    if (shutDown)
        return ShutdownCalled;
    try {
        *storyboard = MakeComObject<AnimationStoryboard>(this).Detach();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void AnimationScheduler::Forget(AnimationVariable* variable) { std::erase(variables, variable); }

HRESULT AnimationScheduler::Schedule(AnimationStoryboard* storyboard, double time)
{
    if (shutDown)
        return ShutdownCalled;
    if (!std::isfinite(time))
        return E_INVALIDARG;
    if (Active(storyboard->Status()))
        return StoryboardActive;
    // What has been shown cannot change any more.
    const double start = updated ? std::max(time, lastUpdate) : time;
    try {
        active.reserve(active.size() + 1);
        for (AnimationVariable* variable : storyboard->Variables())
            variable->TakeOver(start);
        storyboard->Lay(start, sequence);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // A storyboard that lost every transition before it started has nothing left to play, and
    // may be scheduled again at once (a button crossed twice within one tick).
    std::vector<Microsoft::WRL::ComPtr<IUIAnimationStoryboard2>> cancelled;
    std::erase_if(active, [&](Microsoft::WRL::ComPtr<IUIAnimationStoryboard2>& held) {
        auto* other = static_cast<AnimationStoryboard*>(held.Get());
        if (other->Status() != UI_ANIMATION_STORYBOARD_SCHEDULED || !other->Displaced())
            return false;
        other->SetStatus(UI_ANIMATION_STORYBOARD_CANCELLED);
        cancelled.push_back(std::move(held));
        return true;
    });
    storyboard->SetStatus(UI_ANIMATION_STORYBOARD_SCHEDULED);
    active.emplace_back(storyboard);
    return S_OK;
}

HRESULT AnimationScheduler::Abandon(AnimationStoryboard* storyboard)
{
    if (shutDown)
        return ShutdownCalled;
    if (!Active(storyboard->Status()))
        return S_OK;
    // The variables keep the values they have now.
    storyboard->Withdraw(lastUpdate, storyboard->Status() == UI_ANIMATION_STORYBOARD_PLAYING);
    storyboard->SetStatus(UI_ANIMATION_STORYBOARD_READY);
    // The caller holds its own reference, so dropping ours cannot end the storyboard here.
    std::erase_if(active, [storyboard](const auto& held) { return held.Get() == storyboard; });
    return S_OK;
}

HRESULT AnimationScheduler::Update(double timeNow, UI_ANIMATION_UPDATE_RESULT* updateResult)
{
    if (updateResult != nullptr)
        *updateResult = UI_ANIMATION_UPDATE_NO_CHANGE;
    if (shutDown)
        return ShutdownCalled;
    if (!std::isfinite(timeNow))
        return E_INVALIDARG;
    if (updated && timeNow < lastUpdate)
        return TimeBeforeLastUpdate;
    // Ending the last storyboard may release the last reference held elsewhere.
    Microsoft::WRL::ComPtr<IUIAnimationManager2> self(this);
    updated = true;
    lastUpdate = timeNow;

    bool changed = false;
    for (AnimationVariable* variable : variables)
        changed = variable->Advance(timeNow) || changed;

    std::vector<Microsoft::WRL::ComPtr<IUIAnimationStoryboard2>> ended;
    std::erase_if(active, [&](Microsoft::WRL::ComPtr<IUIAnimationStoryboard2>& held) {
        auto* storyboard = static_cast<AnimationStoryboard*>(held.Get());
        if (timeNow >= storyboard->EndTime()) {
            storyboard->SetStatus(UI_ANIMATION_STORYBOARD_FINISHED);
            ended.push_back(std::move(held));
            return true;
        }
        if (timeNow >= storyboard->StartTime())
            storyboard->SetStatus(UI_ANIMATION_STORYBOARD_PLAYING);
        return false;
    });
    ended.clear();

    if (updateResult != nullptr)
        *updateResult = changed ? UI_ANIMATION_UPDATE_VARIABLES_CHANGED : UI_ANIMATION_UPDATE_NO_CHANGE;
    return S_OK;
}

HRESULT AnimationScheduler::GetStatus(UI_ANIMATION_MANAGER_STATUS* status)
{
    if (status == nullptr)
        return E_POINTER;
    if (shutDown)
        return ShutdownCalled;
    *status = active.empty() ? UI_ANIMATION_MANAGER_IDLE : UI_ANIMATION_MANAGER_BUSY;
    return S_OK;
}

HRESULT AnimationScheduler::SetTrimPriorityComparison(IUIAnimationPriorityComparison2* comparison)
{
    if (shutDown)
        return ShutdownCalled;
    // Kept only: every storyboard takes its variables over from those scheduled before it.
    trimComparison = comparison;
    return S_OK;
}

HRESULT AnimationScheduler::Shutdown()
{
    if (shutDown)
        return S_OK;
    Microsoft::WRL::ComPtr<IUIAnimationManager2> self(this);
    shutDown = true;
    // Running storyboards hold their variables, and both hold the manager: let them go.
    auto running = std::move(active);
    active.clear();
    for (auto& held : running)
        static_cast<AnimationStoryboard*>(held.Get())->SetStatus(UI_ANIMATION_STORYBOARD_READY);
    running.clear();
    trimComparison.Reset();
    return S_OK;
}

}  // namespace F3
