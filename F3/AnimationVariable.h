#pragma once

#include <windows.h>
#include <uianimation.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "F3/AnimationComObject.h"
#include "F3/AnimationCurve.h"

namespace F3 {

class AnimationScheduler;

// One scheduled transition of one variable: its curve from its start time on. A storyboard
// scheduled later may cut it short; from then on it holds the value it had reached.
struct AnimationSegment {
    AnimationSegment(double start, AnimationCurve curve, std::uint64_t sequence)
        : start(start), curve(curve), sequence(sequence)
    {
    }

    double End() const { return start + curve.Duration() < cutAt ? start + curve.Duration() : cutAt; }
    double ValueAt(double time) const { return curve.ValueAt((time < cutAt ? time : cutAt) - start); }
    double VelocityAt(double time) const { return time < cutAt ? curve.VelocityAt(time - start) : 0.0; }
    // Nothing of it is left to play.
    bool Spent() const { return removed || cutAt <= start; }

    double start;
    double cutAt = std::numeric_limits<double>::infinity();
    AnimationCurve curve;
    std::uint64_t sequence;
    bool removed = false;  // taken off the schedule before it started
};

// A scalar variable of the built-in engine. Its value moves only on the manager's Update: at
// any time it follows the segment that started last.
class AnimationVariable : public AnimationComObject<AnimationVariable, IUIAnimationVariable2> {
public:
    static constexpr GUID ImplementationId = {
        0x2503ef9f, 0x62ab, 0x4fb3, {0x8c, 0x68, 0x9f, 0xb7, 0x28, 0x81, 0x1b, 0x25}};

    AnimationVariable(AnimationScheduler* scheduler, double initialValue);

    AnimationScheduler* Scheduler() const { return scheduler; }

    // The value and velocity the schedule gives at a time not before the last update.
    double ValueAt(double time) const;
    double VelocityAt(double time) const;
    void Add(std::shared_ptr<AnimationSegment> segment);
    void Remove(const AnimationSegment* segment);
    // A storyboard starting at time takes the variable over: what would start after then is
    // dropped, what runs then stops there (what starts just then only sets its start value).
    void TakeOver(double time);
    // Moves the value to now and forgets what can no longer matter; true when the value changed.
    bool Advance(double now);

    HRESULT STDMETHODCALLTYPE GetValue(double* value) override;
    HRESULT STDMETHODCALLTYPE GetPreviousValue(double* previousValue) override;
    HRESULT STDMETHODCALLTYPE GetIntegerValue(int* value) override;
    HRESULT STDMETHODCALLTYPE GetPreviousIntegerValue(int* previousValue) override;
    HRESULT STDMETHODCALLTYPE SetRoundingMode(UI_ANIMATION_ROUNDING_MODE mode) override;

    HRESULT STDMETHODCALLTYPE GetDimension(unsigned int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVectorValue(double*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurve(IDCompositionAnimation*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVectorCurve(IDCompositionAnimation**, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFinalValue(double*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFinalVectorValue(double*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPreviousVectorValue(double*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIntegerVectorValue(int*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFinalIntegerValue(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFinalIntegerVectorValue(int*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPreviousIntegerVectorValue(int*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentStoryboard(IUIAnimationStoryboard2**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetLowerBound(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetLowerBoundVector(double*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetUpperBound(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetUpperBoundVector(double*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTag(IUnknown*, unsigned int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTag(IUnknown**, unsigned int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVariableChangeHandler(IUIAnimationVariableChangeHandler2*, LONG) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetVariableIntegerChangeHandler(IUIAnimationVariableIntegerChangeHandler2*,
                                                              LONG) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetVariableCurveChangeHandler(IUIAnimationVariableCurveChangeHandler2*) override
    {
        return E_NOTIMPL;
    }

protected:
    ~AnimationVariable() override;

private:
    const AnimationSegment* Current(double time) const;
    HRESULT Round(double value, int* rounded) const;

    // Keeps the manager alive for as long as the variable can still reach it.
    Microsoft::WRL::ComPtr<IUIAnimationManager2> owner;
    AnimationScheduler* scheduler;
    double base;  // the value before the first segment
    double value;
    double previous;
    UI_ANIMATION_ROUNDING_MODE rounding = UI_ANIMATION_ROUNDING_NEAREST;
    std::vector<std::shared_ptr<AnimationSegment>> segments;  // by start time, then by adding order
};

}  // namespace F3
