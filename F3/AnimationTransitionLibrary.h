#pragma once

#include <windows.h>
#include <uianimation.h>

#include "F3/AnimationComObject.h"
#include "F3/AnimationCurve.h"

namespace F3 {

// The built-in transition library: the scalar transitions the storyboards use. Numbers it cannot
// make a transition of give E_INVALIDARG.
class AnimationTransitionLibrary
    : public AnimationComObject<AnimationTransitionLibrary, IUIAnimationTransitionLibrary2> {
public:
    static constexpr GUID ImplementationId = {
        0xce9523f9, 0xe997, 0x46f7, {0xb4, 0xad, 0x95, 0x2b, 0x69, 0x92, 0xa5, 0x15}};

    HRESULT STDMETHODCALLTYPE CreateInstantaneousTransition(double finalValue,
                                                            IUIAnimationTransition2** transition) override;
    HRESULT STDMETHODCALLTYPE CreateInstantaneousVectorTransition(double*, unsigned int,
                                                                  IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateConstantTransition(double, IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateDiscreteTransition(double, double, double, IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateDiscreteVectorTransition(double, double*, unsigned int, double,
                                                             IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateLinearTransition(double duration, double finalValue,
                                                     IUIAnimationTransition2** transition) override;
    HRESULT STDMETHODCALLTYPE CreateLinearVectorTransition(double, double*, unsigned int,
                                                           IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateLinearTransitionFromSpeed(double speed, double finalValue,
                                                              IUIAnimationTransition2** transition) override;
    HRESULT STDMETHODCALLTYPE CreateLinearVectorTransitionFromSpeed(double, double*, unsigned int,
                                                                    IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateSinusoidalTransitionFromVelocity(double, double,
                                                                     IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateSinusoidalTransitionFromRange(double, double, double, double,
                                                                  UI_ANIMATION_SLOPE,
                                                                  IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateAccelerateDecelerateTransition(double duration, double finalValue,
                                                                   double accelerationRatio,
                                                                   double decelerationRatio,
                                                                   IUIAnimationTransition2** transition) override;
    HRESULT STDMETHODCALLTYPE CreateReversalTransition(double duration,
                                                       IUIAnimationTransition2** transition) override;
    HRESULT STDMETHODCALLTYPE CreateCubicTransition(double duration, double finalValue, double finalVelocity,
                                                    IUIAnimationTransition2** transition) override;
    HRESULT STDMETHODCALLTYPE CreateCubicVectorTransition(double, double*, double*, unsigned int,
                                                          IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateSmoothStopTransition(double maximumDuration, double finalValue,
                                                         IUIAnimationTransition2** transition) override;
    HRESULT STDMETHODCALLTYPE CreateParabolicTransitionFromAcceleration(double, double, double,
                                                                        IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateCubicBezierLinearTransition(double, double, double, double, double, double,
                                                                IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateCubicBezierLinearVectorTransition(double, double*, unsigned int, double,
                                                                      double, double, double,
                                                                      IUIAnimationTransition2**) override
    {
        return E_NOTIMPL;
    }

private:
    static HRESULT Make(const AnimationCurve::Parameters& parameters, IUIAnimationTransition2** transition);
};

}  // namespace F3
