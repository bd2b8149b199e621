#pragma once

#include <windows.h>
#include <uianimation.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "F3/AnimationComObject.h"
#include "F3/AnimationVariable.h"

namespace F3 {

class AnimationScheduler;
class AnimationTransition;

// A storyboard of the built-in engine: transitions at keyframes, sealed once scheduled. Each
// scheduling lays its transitions out afresh from the values the variables have then, so a
// storyboard can be played again once it has ended or been abandoned.
class AnimationStoryboard : public AnimationComObject<AnimationStoryboard, IUIAnimationStoryboard2> {
public:
    static constexpr GUID ImplementationId = {
        0xf2194d4d, 0x8cd4, 0x41a1, {0xa4, 0x23, 0x4f, 0x08, 0xe0, 0xc8, 0xd8, 0x70}};

    explicit AnimationStoryboard(AnimationScheduler* scheduler);

    // The scheduler's side.
    UI_ANIMATION_STORYBOARD_STATUS Status() const { return status; }
    void SetStatus(UI_ANIMATION_STORYBOARD_STATUS value) { status = value; }
    double StartTime() const { return startTime; }
    double EndTime() const;
    // True when later storyboards took every transition of the present run before it started.
    bool Displaced() const;
    // Every variable the storyboard animates, each once.
    std::vector<AnimationVariable*> Variables() const;
    // Lays the transitions out from start on and hands them to their variables.
    void Lay(double start, std::uint64_t& sequence);
    // Takes back what has not started by now and stops the rest there.
    void Withdraw(double now, bool started);

    HRESULT STDMETHODCALLTYPE AddKeyframeAtOffset(UI_ANIMATION_KEYFRAME existingKeyframe, double offset,
                                                  UI_ANIMATION_KEYFRAME* keyframe) override;
    HRESULT STDMETHODCALLTYPE AddKeyframeAfterTransition(IUIAnimationTransition2* transition,
                                                         UI_ANIMATION_KEYFRAME* keyframe) override;
    HRESULT STDMETHODCALLTYPE AddTransitionAtKeyframe(IUIAnimationVariable2* variable,
                                                      IUIAnimationTransition2* transition,
                                                      UI_ANIMATION_KEYFRAME startKeyframe) override;
    HRESULT STDMETHODCALLTYPE Schedule(double timeNow, UI_ANIMATION_SCHEDULING_RESULT* schedulingResult) override;
    HRESULT STDMETHODCALLTYPE Abandon() override;
    HRESULT STDMETHODCALLTYPE GetStatus(UI_ANIMATION_STORYBOARD_STATUS* status) override;

    HRESULT STDMETHODCALLTYPE AddTransition(IUIAnimationVariable2*, IUIAnimationTransition2*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddTransitionBetweenKeyframes(IUIAnimationVariable2*, IUIAnimationTransition2*,
                                                            UI_ANIMATION_KEYFRAME, UI_ANIMATION_KEYFRAME) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RepeatBetweenKeyframes(UI_ANIMATION_KEYFRAME, UI_ANIMATION_KEYFRAME, double,
                                                     UI_ANIMATION_REPEAT_MODE,
                                                     IUIAnimationLoopIterationChangeHandler2*, UINT_PTR,
                                                     LONG) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE HoldVariable(IUIAnimationVariable2*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetLongestAcceptableDelay(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSkipDuration(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Conclude() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Finish(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTag(IUnknown*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTag(IUnknown**, unsigned int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetElapsedTime(double*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStoryboardEventHandler(IUIAnimationStoryboardEventHandler2*, LONG, LONG) override
    {
        return E_NOTIMPL;
    }

private:
    struct Entry {
        Microsoft::WRL::ComPtr<IUIAnimationVariable2> variableReference;
        AnimationVariable* variable;
        Microsoft::WRL::ComPtr<IUIAnimationTransition2> transitionReference;
        AnimationTransition* transition;
        UI_ANIMATION_KEYFRAME keyframe;
    };
    // At an offset from another keyframe, or at the end of an entry's transition.
    struct Keyframe {
        UI_ANIMATION_KEYFRAME base;
        double offset;
        std::optional<std::size_t> afterEntry;
    };

    bool Known(UI_ANIMATION_KEYFRAME keyframe) const;
    UI_ANIMATION_KEYFRAME Handle(std::size_t index) const;
    std::size_t Index(UI_ANIMATION_KEYFRAME keyframe) const;
    HRESULT AddKeyframe(Keyframe keyframe, UI_ANIMATION_KEYFRAME* handle);
    double KeyframeTime(UI_ANIMATION_KEYFRAME keyframe, std::vector<std::optional<double>>& times) const;

    Microsoft::WRL::ComPtr<IUIAnimationManager2> owner;
    AnimationScheduler* scheduler;
    std::vector<Entry> entries;
    std::vector<Keyframe> keyframes;
    UI_ANIMATION_STORYBOARD_STATUS status = UI_ANIMATION_STORYBOARD_BUILDING;
    double startTime = 0;
    std::vector<std::shared_ptr<AnimationSegment>> segments;  // of the present run, one per entry
};

}  // namespace F3
