#pragma once

#include <windows.h>
#include <uianimation.h>

#include <wrl/client.h>

#include <memory>

#include "F3/AnimationEngine.h"
#include "F3/IStoryboard.h"
#include "F3/WinAnimation.h"

namespace test {

// The window's animation manager over the built-in engine, on a clock the test sets.
class AnimationTestEngine {
public:
    AnimationTestEngine()
    {
        F3::AnimationEngine engine = F3::CreateAnimationEngine([this] { return now; });
        manager = engine.manager;
        library = engine.library;
        timer = engine.timer;
        animation = std::make_shared<F3::WinAnimation>(engine.manager, engine.library, engine.timer);
    }
    AnimationTestEngine(const AnimationTestEngine&) = delete;
    AnimationTestEngine& operator=(const AnimationTestEngine&) = delete;

    // The form's tick at the given time.
    bool UpdateAt(double time)
    {
        now = time;
        return animation->Update();
    }

    std::unique_ptr<F3::IStoryboard> Storyboard() { return animation->CreateStoryboard(); }

    bool Idle()
    {
        UI_ANIMATION_MANAGER_STATUS status = UI_ANIMATION_MANAGER_BUSY;
        return SUCCEEDED(manager->GetStatus(&status)) && status == UI_ANIMATION_MANAGER_IDLE;
    }

    double now = 0;
    Microsoft::WRL::ComPtr<IUIAnimationManager2> manager;
    Microsoft::WRL::ComPtr<IUIAnimationTransitionLibrary2> library;
    Microsoft::WRL::ComPtr<IUIAnimationTimer> timer;
    std::shared_ptr<F3::WinAnimation> animation;
};

}  // namespace test
