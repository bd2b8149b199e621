#pragma once

#include <windows.h>
#include <uianimation.h>

#include <wrl/client.h>

#include <functional>
#include <vector>

#include "F3/IStoryboard.h"

namespace F3 {

// A storyboard of the animation manager, built through the transition library. Destroying it
// leaves a scheduled storyboard running in the manager.
class WinStoryboard : public IStoryboard {
public:
    // Throws _com_error when the manager cannot make a storyboard.
    WinStoryboard(Microsoft::WRL::ComPtr<IUIAnimationManager2> manager,
                  Microsoft::WRL::ComPtr<IUIAnimationTransitionLibrary2> library,
                  Microsoft::WRL::ComPtr<IUIAnimationTimer> timer);

    void Schedule(double delay) override;
    IStoryboard& Instant(AnimatedBase& variable, const AnimatedBase& target) override;
    IStoryboard& Linear(AnimatedBase& variable, const AnimatedBase& target, double duration) override;
    IStoryboard& LinearSpeed(AnimatedBase& variable, const AnimatedBase& target, double speed) override;
    IStoryboard& Reversal(AnimatedBase& variable, double duration) override;
    IStoryboard& Cubic(AnimatedBase& variable, const AnimatedBase& target, double duration,
                       double finalVelocity) override;
    IStoryboard& SmoothStop(AnimatedBase& variable, const AnimatedBase& target, double maximumDuration) override;
    IStoryboard& AccelerateDecelerate(AnimatedBase& variable, const AnimatedBase& target, double duration,
                                      double accelerationRatio, double decelerationRatio) override;
    IStoryboard& Then() override;
    IStoryboard& ThenAfter(double offset) override;
    IStoryboard& At(double offset) override;
    IStoryboard& ReleaseBuilder() override;

private:
    // Makes the transition of one component towards its final value.
    using TransitionFactory = std::function<HRESULT(double finalValue, IUIAnimationTransition2** transition)>;

    IStoryboard& Add(AnimatedBase& variable, const AnimatedBase& target, const TransitionFactory& factory);
    void AddKeyframe(UI_ANIMATION_KEYFRAME from, double offset);

    Microsoft::WRL::ComPtr<IUIAnimationManager2> manager;
    Microsoft::WRL::ComPtr<IUIAnimationTransitionLibrary2> library;
    Microsoft::WRL::ComPtr<IUIAnimationTimer> timer;
    Microsoft::WRL::ComPtr<IUIAnimationStoryboard2> storyboard;
    UI_ANIMATION_KEYFRAME keyframe = UI_ANIMATION_KEYFRAME_STORYBOARD_START;
    Microsoft::WRL::ComPtr<IUIAnimationTransition2> lastTransition;
};

}  // namespace F3
