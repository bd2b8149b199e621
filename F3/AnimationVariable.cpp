#include "F3/AnimationVariable.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "F3/AnimationScheduler.h"

namespace F3 {

AnimationVariable::AnimationVariable(AnimationScheduler* scheduler, double initialValue)
    : owner(scheduler), scheduler(scheduler), base(initialValue), value(initialValue), previous(initialValue)
{
}

AnimationVariable::~AnimationVariable() { scheduler->Forget(this); }

const AnimationSegment* AnimationVariable::Current(double time) const
{
    const AnimationSegment* current = nullptr;
    for (const auto& segment : segments) {
        if (segment->start > time)
            break;
        current = segment.get();
    }
    return current;
}

double AnimationVariable::ValueAt(double time) const
{
    const AnimationSegment* current = Current(time);
    return current ? current->ValueAt(time) : base;
}

double AnimationVariable::VelocityAt(double time) const
{
    const AnimationSegment* current = Current(time);
    return current ? current->VelocityAt(time) : 0.0;
}

void AnimationVariable::Add(std::shared_ptr<AnimationSegment> segment)
{
    const auto position = std::upper_bound(
        segments.begin(), segments.end(), segment->start,
        [](double start, const std::shared_ptr<AnimationSegment>& other) { return start < other->start; });
    segments.insert(position, std::move(segment));
}

void AnimationVariable::Remove(const AnimationSegment* segment)
{
    std::erase_if(segments, [segment](const auto& other) { return other.get() == segment; });
}

void AnimationVariable::TakeOver(double time)
{
    std::erase_if(segments, [time](const std::shared_ptr<AnimationSegment>& segment) {
        if (segment->start <= time) {
            segment->cutAt = std::min(segment->cutAt, time);
            return false;
        }
        segment->removed = true;
        return true;
    });
}

bool AnimationVariable::Advance(double now)
{
    previous = value;
    value = ValueAt(now);
    // Only the segment running now and those still to come can move the value again.
    auto first = segments.begin();
    for (auto it = segments.begin(); it != segments.end() && (*it)->start <= now; ++it)
        first = it;
    segments.erase(segments.begin(), first);
    if (segments.size() == 1 && segments.front()->start <= now && segments.front()->End() <= now) {
        base = value;
        segments.clear();
    }
    return value != previous;
}

HRESULT AnimationVariable::Round(double source, int* rounded) const
{
    if (rounded == nullptr)
        return E_POINTER;
    double result = source;
    switch (rounding) {
    case UI_ANIMATION_ROUNDING_NEAREST:
        result = std::round(source);
        break;
    case UI_ANIMATION_ROUNDING_FLOOR:
        result = std::floor(source);
        break;
    case UI_ANIMATION_ROUNDING_CEILING:
        result = std::ceil(source);
        break;
    }
    constexpr HRESULT overflow = static_cast<HRESULT>(0x802A000BL);  // UI_E_FP_OVERFLOW
    if (!(result >= static_cast<double>(INT_MIN) && result <= static_cast<double>(INT_MAX)))
        return overflow;
    *rounded = static_cast<int>(result);
    return S_OK;
}

HRESULT AnimationVariable::GetValue(double* result)
{
    if (result == nullptr)
        return E_POINTER;
    *result = value;
    return S_OK;
}

HRESULT AnimationVariable::GetPreviousValue(double* result)
{
    if (result == nullptr)
        return E_POINTER;
    *result = previous;
    return S_OK;
}

HRESULT AnimationVariable::GetIntegerValue(int* result) { return Round(value, result); }

HRESULT AnimationVariable::GetPreviousIntegerValue(int* result) { return Round(previous, result); }

HRESULT AnimationVariable::SetRoundingMode(UI_ANIMATION_ROUNDING_MODE mode)
{
    if (mode != UI_ANIMATION_ROUNDING_NEAREST && mode != UI_ANIMATION_ROUNDING_FLOOR &&
        mode != UI_ANIMATION_ROUNDING_CEILING)
        return E_INVALIDARG;
    rounding = mode;
    return S_OK;
}

}  // namespace F3
