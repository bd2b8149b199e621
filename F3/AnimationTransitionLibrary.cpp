#include "F3/AnimationTransitionLibrary.h"

#include <new>

#include "F3/AnimationTransition.h"

namespace F3 {

using Kind = AnimationCurve::Kind;

HRESULT AnimationTransitionLibrary::Make(const AnimationCurve::Parameters& parameters,
                                         IUIAnimationTransition2** transition)
{
    if (transition == nullptr)
        return E_POINTER;
    *transition = nullptr;
    if (!AnimationCurve::Valid(parameters))
        return E_INVALIDARG;
    try {
        *transition = MakeComObject<AnimationTransition>(parameters).Detach();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT AnimationTransitionLibrary::CreateInstantaneousTransition(double finalValue,
                                                                  IUIAnimationTransition2** transition)
{
    AnimationCurve::Parameters p;
    p.kind = Kind::Instantaneous;
    p.finalValue = finalValue;
    return Make(p, transition);
}

HRESULT AnimationTransitionLibrary::CreateLinearTransition(double duration, double finalValue,
                                                           IUIAnimationTransition2** transition)
{
    AnimationCurve::Parameters p;
    p.kind = Kind::Linear;
    p.duration = duration;
    p.finalValue = finalValue;
    return Make(p, transition);
}

HRESULT AnimationTransitionLibrary::CreateLinearTransitionFromSpeed(double speed, double finalValue,
                                                                    IUIAnimationTransition2** transition)
{
    AnimationCurve::Parameters p;
    p.kind = Kind::LinearFromSpeed;
    p.speed = speed;
    p.finalValue = finalValue;
    return Make(p, transition);
}

HRESULT AnimationTransitionLibrary::CreateAccelerateDecelerateTransition(double duration, double finalValue,
                                                                         double accelerationRatio,
                                                                         double decelerationRatio,
                                                                         IUIAnimationTransition2** transition)
{
    AnimationCurve::Parameters p;
    p.kind = Kind::AccelerateDecelerate;
    p.duration = duration;
    p.finalValue = finalValue;
    p.accelerationRatio = accelerationRatio;
    p.decelerationRatio = decelerationRatio;
    return Make(p, transition);
}

HRESULT AnimationTransitionLibrary::CreateReversalTransition(double duration, IUIAnimationTransition2** transition)
{
    AnimationCurve::Parameters p;
    p.kind = Kind::Reversal;
    p.duration = duration;
    return Make(p, transition);
}

HRESULT AnimationTransitionLibrary::CreateCubicTransition(double duration, double finalValue, double finalVelocity,
                                                          IUIAnimationTransition2** transition)
{
    AnimationCurve::Parameters p;
    p.kind = Kind::Cubic;
    p.duration = duration;
    p.finalValue = finalValue;
    p.finalVelocity = finalVelocity;
    return Make(p, transition);
}

HRESULT AnimationTransitionLibrary::CreateSmoothStopTransition(double maximumDuration, double finalValue,
                                                               IUIAnimationTransition2** transition)
{
    AnimationCurve::Parameters p;
    p.kind = Kind::SmoothStop;
    p.duration = maximumDuration;
    p.finalValue = finalValue;
    return Make(p, transition);
}

}  // namespace F3
