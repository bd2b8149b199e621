#include "F3/WinStoryboard.h"

#include <comdef.h>

#include <memory>
#include <stdexcept>
#include <utility>

#include "F3/Animated.h"
#include "F3/AnimationHresult.h"
#include "F3/WinAnimatedVariable.h"
#include "halvlib/Logging.h"

namespace F3 {

using Microsoft::WRL::ComPtr;

WinStoryboard::WinStoryboard(ComPtr<IUIAnimationManager2> manager, ComPtr<IUIAnimationTransitionLibrary2> library,
                             ComPtr<IUIAnimationTimer> timer)
    : manager(std::move(manager)), library(std::move(library)), timer(std::move(timer))
{
    const HRESULT result = this->manager->CreateStoryboard(storyboard.ReleaseAndGetAddressOf());
    if (FAILED(result)) {
        HALVLIB_LOG(halvlib::logging::Error) << "Animation: failed to create storyboard " << AnimationHresultText(result);
        throw _com_error(result);
    }
}

IStoryboard& WinStoryboard::Add(AnimatedBase& variable, const AnimatedBase& target, const TransitionFactory& factory)
{
    if (!manager || !library)
        throw std::logic_error("Animation: storyboard builder released");
    const std::vector<int> finals = target.TargetComponents();
    const std::vector<float> initials = variable.InitialComponents();
    auto* existing = dynamic_cast<WinAnimatedVariable*>(variable.Variable().get());
    if (variable.Variable() && !existing)
        throw std::invalid_argument("Animation: value animated elsewhere");
    if (finals.size() != (existing ? existing->Components().size() : initials.size()))
        throw std::invalid_argument("Animation: target does not match the animated value");

    std::vector<ComPtr<IUIAnimationTransition2>> transitions(finals.size());
    for (std::size_t i = 0; i < finals.size(); ++i) {
        const HRESULT result = factory(static_cast<double>(finals[i]), transitions[i].ReleaseAndGetAddressOf());
        if (FAILED(result)) {
            HALVLIB_LOG(halvlib::logging::Error)
                << "Animation: failed to create transition " << AnimationHresultText(result);
            throw _com_error(result);
        }
    }

    if (!existing) {
        std::vector<ComPtr<IUIAnimationVariable2>> components(initials.size());
        for (std::size_t i = 0; i < initials.size(); ++i) {
            HRESULT result = manager->CreateAnimationVariable(initials[i], components[i].ReleaseAndGetAddressOf());
            if (SUCCEEDED(result))
                result = components[i]->SetRoundingMode(UI_ANIMATION_ROUNDING_NEAREST);
            if (FAILED(result)) {
                HALVLIB_LOG(halvlib::logging::Error)
                    << "Animation: failed to create animation variable " << AnimationHresultText(result);
                throw _com_error(result);
            }
        }
        auto created = std::make_shared<WinAnimatedVariable>(std::move(components));
        existing = created.get();
        variable.SetVariable(std::move(created));
    }

    const auto& components = existing->Components();
    for (std::size_t i = 0; i < transitions.size(); ++i) {
        const HRESULT result = storyboard->AddTransitionAtKeyframe(components[i].Get(), transitions[i].Get(), keyframe);
        if (FAILED(result)) {
            HALVLIB_LOG(halvlib::logging::Error) << "Animation: failed to add transition " << AnimationHresultText(result);
            continue;
        }
        lastTransition = transitions[i];
    }
    return *this;
}

IStoryboard& WinStoryboard::Instant(AnimatedBase& variable, const AnimatedBase& target)
{
    ComPtr<IUIAnimationTransitionLibrary2> transitions = library;
    return Add(variable, target, [transitions](double finalValue, IUIAnimationTransition2** transition) {
        return transitions->CreateInstantaneousTransition(finalValue, transition);
    });
}

IStoryboard& WinStoryboard::Linear(AnimatedBase& variable, const AnimatedBase& target, double duration)
{
    ComPtr<IUIAnimationTransitionLibrary2> transitions = library;
    return Add(variable, target, [transitions, duration](double finalValue, IUIAnimationTransition2** transition) {
        return transitions->CreateLinearTransition(duration, finalValue, transition);
    });
}

IStoryboard& WinStoryboard::LinearSpeed(AnimatedBase& variable, const AnimatedBase& target, double speed)
{
    ComPtr<IUIAnimationTransitionLibrary2> transitions = library;
    return Add(variable, target, [transitions, speed](double finalValue, IUIAnimationTransition2** transition) {
        return transitions->CreateLinearTransitionFromSpeed(speed, finalValue, transition);
    });
}

IStoryboard& WinStoryboard::Reversal(AnimatedBase& variable, double duration)
{
    ComPtr<IUIAnimationTransitionLibrary2> transitions = library;
    return Add(variable, variable, [transitions, duration](double, IUIAnimationTransition2** transition) {
        return transitions->CreateReversalTransition(duration, transition);
    });
}

IStoryboard& WinStoryboard::Cubic(AnimatedBase& variable, const AnimatedBase& target, double duration,
                                  double finalVelocity)
{
    ComPtr<IUIAnimationTransitionLibrary2> transitions = library;
    return Add(variable, target,
               [transitions, duration, finalVelocity](double finalValue, IUIAnimationTransition2** transition) {
                   return transitions->CreateCubicTransition(duration, finalValue, finalVelocity, transition);
               });
}

IStoryboard& WinStoryboard::SmoothStop(AnimatedBase& variable, const AnimatedBase& target, double maximumDuration)
{
    ComPtr<IUIAnimationTransitionLibrary2> transitions = library;
    return Add(variable, target,
               [transitions, maximumDuration](double finalValue, IUIAnimationTransition2** transition) {
                   return transitions->CreateSmoothStopTransition(maximumDuration, finalValue, transition);
               });
}

IStoryboard& WinStoryboard::AccelerateDecelerate(AnimatedBase& variable, const AnimatedBase& target, double duration,
                                                 double accelerationRatio, double decelerationRatio)
{
    ComPtr<IUIAnimationTransitionLibrary2> transitions = library;
    return Add(variable, target,
               [transitions, duration, accelerationRatio, decelerationRatio](double finalValue,
                                                                             IUIAnimationTransition2** transition) {
                   return transitions->CreateAccelerateDecelerateTransition(duration, finalValue, accelerationRatio,
                                                                            decelerationRatio, transition);
               });
}

IStoryboard& WinStoryboard::Then()
{
    if (!lastTransition)
        throw std::runtime_error("Then() requires transition");
    UI_ANIMATION_KEYFRAME added = nullptr;
    const HRESULT result = storyboard->AddKeyframeAfterTransition(lastTransition.Get(), &added);
    if (FAILED(result))
        HALVLIB_LOG(halvlib::logging::Error) << "Animation: failed to add keyframe " << AnimationHresultText(result);
    else
        keyframe = added;
    return *this;
}

void WinStoryboard::AddKeyframe(UI_ANIMATION_KEYFRAME from, double offset)
{
    UI_ANIMATION_KEYFRAME added = nullptr;
    const HRESULT result = storyboard->AddKeyframeAtOffset(from, offset, &added);
    if (FAILED(result))
        HALVLIB_LOG(halvlib::logging::Error) << "Animation: failed to add keyframe " << AnimationHresultText(result);
    else
        keyframe = added;
}

IStoryboard& WinStoryboard::ThenAfter(double offset)
{
    AddKeyframe(keyframe, offset);
    return *this;
}

IStoryboard& WinStoryboard::At(double offset)
{
    AddKeyframe(UI_ANIMATION_KEYFRAME_STORYBOARD_START, offset);
    return *this;
}

IStoryboard& WinStoryboard::ReleaseBuilder()
{
    manager.Reset();
    library.Reset();
    lastTransition.Reset();
    return *this;
}

void WinStoryboard::Schedule(double delay)
{
    if (manager || library || lastTransition)
        ReleaseBuilder();
    UI_ANIMATION_STORYBOARD_STATUS status = UI_ANIMATION_STORYBOARD_BUILDING;
    HRESULT result = storyboard->GetStatus(&status);
    if (FAILED(result)) {
        HALVLIB_LOG(halvlib::logging::Error) << "Animation: failed to storyboard status " << AnimationHresultText(result);
        return;
    }
    if (status == UI_ANIMATION_STORYBOARD_PLAYING)
        storyboard->Abandon();
    double now = 0;
    result = timer->GetTime(&now);
    if (FAILED(result)) {
        HALVLIB_LOG(halvlib::logging::Error) << "Animation: failed to get time " << AnimationHresultText(result);
        return;
    }
    result = storyboard->Schedule(now + delay, nullptr);
    if (FAILED(result)) {
        HALVLIB_LOG(halvlib::logging::Error)
            << "Animation: failed to schedule animation " << AnimationHresultText(result);
        return;
    }
    HALVLIB_LOG(halvlib::logging::Info) << "Animation: storyboard scheduled";
}

}  // namespace F3
