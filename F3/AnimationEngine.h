#pragma once

#include <windows.h>
#include <uianimation.h>

#include <wrl/client.h>

#include "F3/AnimationTimer.h"

namespace F3 {

// The three objects of the built-in animation engine, in place of the system's.
struct AnimationEngine {
    Microsoft::WRL::ComPtr<IUIAnimationManager2> manager;
    Microsoft::WRL::ComPtr<IUIAnimationTransitionLibrary2> library;
    Microsoft::WRL::ComPtr<IUIAnimationTimer> timer;
};

// Without a clock the timer reads the performance counter.
AnimationEngine CreateAnimationEngine(AnimationClock clock = {});

}  // namespace F3
