#pragma once

#include <windows.h>
#include <uianimation.h>

#include <functional>

#include "F3/AnimationComObject.h"

namespace F3 {

// Seconds on a steady clock; tests hand the timer a clock of their own.
using AnimationClock = std::function<double()>;

// The built-in animation timer: only GetTime, read from its clock.
class AnimationTimer : public AnimationComObject<AnimationTimer, IUIAnimationTimer> {
public:
    static constexpr GUID ImplementationId = {
        0x9531e451, 0xa618, 0x4909, {0xba, 0x09, 0x5b, 0x77, 0x7b, 0x84, 0xe8, 0x97}};

    // Without a clock, the performance counter.
    explicit AnimationTimer(AnimationClock clock = {});

    // The performance counter in seconds.
    static double PerformanceCounterSeconds();

    HRESULT STDMETHODCALLTYPE SetTimerUpdateHandler(IUIAnimationTimerUpdateHandler*,
                                                    UI_ANIMATION_IDLE_BEHAVIOR) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetTimerEventHandler(IUIAnimationTimerEventHandler*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Enable() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disable() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsEnabled() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTime(double* seconds) override;
    HRESULT STDMETHODCALLTYPE SetFrameRateThreshold(unsigned int) override { return E_NOTIMPL; }

private:
    AnimationClock clock;
};

}  // namespace F3
