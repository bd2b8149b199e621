#pragma once

#include <windows.h>
#include <uianimation.h>

#include "F3/AnimationComObject.h"
#include "F3/AnimationCurve.h"

namespace F3 {

// A transition of the built-in engine: only the numbers it was made with. Where it starts is
// settled each time its storyboard is scheduled.
class AnimationTransition : public AnimationComObject<AnimationTransition, IUIAnimationTransition2> {
public:
    static constexpr GUID ImplementationId = {
        0xddd5dde2, 0x3bc4, 0x4be9, {0xbb, 0x72, 0x86, 0xf1, 0x9a, 0x3a, 0x8e, 0x2e}};

    explicit AnimationTransition(const AnimationCurve::Parameters& parameters) : parameters(parameters) {}

    const AnimationCurve::Parameters& Parameters() const { return parameters; }

    // A transition belongs to the first storyboard it is added to.
    const void* Owner() const { return owner; }
    void SetOwner(const void* storyboard) { owner = storyboard; }

    HRESULT STDMETHODCALLTYPE GetDimension(unsigned int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetInitialValue(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetInitialVectorValue(double*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetInitialVelocity(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetInitialVectorVelocity(double*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDurationKnown() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDuration(double*) override { return E_NOTIMPL; }

private:
    AnimationCurve::Parameters parameters;
    const void* owner = nullptr;
};

}  // namespace F3
