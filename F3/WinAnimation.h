#pragma once

#include <windows.h>
#include <uianimation.h>

#include <wrl/client.h>

#include <exception>
#include <memory>

#include "F3/IAnimationManager.h"

namespace F3 {

// The animation objects could not be made.
class AnimationUnavailableException : public std::exception {
public:
    const char* what() const noexcept override { return "Windows Animation unavailable"; }
};

// The animation manager of the window over the Windows Animation Manager: its manager,
// transition library and timer.
class WinAnimation : public IAnimationManager {
public:
    // Creates the system's timer, transition library and manager, in this order; the first that
    // fails is logged and throws AnimationUnavailableException.
    WinAnimation();
    // Over objects made elsewhere; throws AnimationUnavailableException when one is missing.
    WinAnimation(Microsoft::WRL::ComPtr<IUIAnimationManager2> manager,
                 Microsoft::WRL::ComPtr<IUIAnimationTransitionLibrary2> library,
                 Microsoft::WRL::ComPtr<IUIAnimationTimer> timer);
    ~WinAnimation() override;
    WinAnimation(const WinAnimation&) = delete;
    WinAnimation& operator=(const WinAnimation&) = delete;

    bool Update() override;
    std::unique_ptr<IStoryboard> CreateStoryboard() override;

private:
    Microsoft::WRL::ComPtr<IUIAnimationManager2> manager;
    Microsoft::WRL::ComPtr<IUIAnimationTransitionLibrary2> library;
    Microsoft::WRL::ComPtr<IUIAnimationTimer> timer;
};

}  // namespace F3
