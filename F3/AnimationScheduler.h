#pragma once

#include <windows.h>
#include <uianimation.h>

#include <cstdint>
#include <vector>

#include "F3/AnimationComObject.h"

namespace F3 {

class AnimationStoryboard;
class AnimationVariable;

// The built-in animation manager. A storyboard scheduled later takes its variables over from its
// start time on; Update moves every variable to the time given and ends the storyboards it has
// passed. Used on one thread.
class AnimationScheduler : public AnimationComObject<AnimationScheduler, IUIAnimationManager2> {
public:
    static constexpr GUID ImplementationId = {
        0x60d0e1f7, 0xafb0, 0x4dd2, {0x96, 0x0a, 0x29, 0xb1, 0x61, 0x84, 0x40, 0xa7}};

    AnimationScheduler() = default;

    // The storyboards' and variables' side.
    HRESULT Schedule(AnimationStoryboard* storyboard, double time);
    HRESULT Abandon(AnimationStoryboard* storyboard);
    void Forget(AnimationVariable* variable);

    HRESULT STDMETHODCALLTYPE CreateAnimationVariable(double initialValue, IUIAnimationVariable2** variable) override;
    HRESULT STDMETHODCALLTYPE CreateStoryboard(IUIAnimationStoryboard2** storyboard) override;
    HRESULT STDMETHODCALLTYPE Update(double timeNow, UI_ANIMATION_UPDATE_RESULT* updateResult) override;
    HRESULT STDMETHODCALLTYPE GetStatus(UI_ANIMATION_MANAGER_STATUS* status) override;
    HRESULT STDMETHODCALLTYPE SetTrimPriorityComparison(IUIAnimationPriorityComparison2* comparison) override;
    HRESULT STDMETHODCALLTYPE Shutdown() override;

    HRESULT STDMETHODCALLTYPE CreateAnimationVectorVariable(double*, unsigned int, IUIAnimationVariable2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ScheduleTransition(IUIAnimationVariable2*, IUIAnimationTransition2*, double) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FinishAllStoryboards(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AbandonAllStoryboards() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVariableFromTag(IUnknown*, UINT32, IUIAnimationVariable2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetStoryboardFromTag(IUnknown*, unsigned int, IUIAnimationStoryboard2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EstimateNextEventTime(double*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAnimationMode(UI_ANIMATION_MODE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resume() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetManagerEventHandler(IUIAnimationManagerEventHandler2*, LONG) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetCancelPriorityComparison(IUIAnimationPriorityComparison2*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetCompressPriorityComparison(IUIAnimationPriorityComparison2*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetConcludePriorityComparison(IUIAnimationPriorityComparison2*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetDefaultLongestAcceptableDelay(double) override { return E_NOTIMPL; }

private:
    bool shutDown = false;
    bool updated = false;
    double lastUpdate = 0;
    std::uint64_t sequence = 0;
    std::vector<AnimationVariable*> variables;  // each removes itself when it goes
    // Scheduled and playing storyboards, kept alive until they end.
    std::vector<Microsoft::WRL::ComPtr<IUIAnimationStoryboard2>> active;
    Microsoft::WRL::ComPtr<IUIAnimationPriorityComparison2> trimComparison;
};

}  // namespace F3
