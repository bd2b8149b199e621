#include "F3/AnimationStoryboard.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "F3/AnimationScheduler.h"
#include "F3/AnimationTransition.h"

namespace F3 {

namespace {

constexpr HRESULT ObjectSealed = static_cast<HRESULT>(0x802A0004L);             // UI_E_OBJECT_SEALED
constexpr HRESULT DifferentOwner = static_cast<HRESULT>(0x802A0009L);           // UI_E_DIFFERENT_OWNER
constexpr HRESULT TransitionAlreadyUsed = static_cast<HRESULT>(0x802A0106L);    // UI_E_TRANSITION_ALREADY_USED
constexpr HRESULT TransitionNotInStoryboard = static_cast<HRESULT>(0x802A0107L);  // UI_E_TRANSITION_NOT_IN_STORYBOARD

}  // namespace

AnimationStoryboard::AnimationStoryboard(AnimationScheduler* scheduler) : owner(scheduler), scheduler(scheduler) {}

UI_ANIMATION_KEYFRAME AnimationStoryboard::Handle(std::size_t index) const
{
    // Keyframes are numbered from 1, so that no handle is null or the storyboard start.
    return reinterpret_cast<UI_ANIMATION_KEYFRAME>(static_cast<std::uintptr_t>(index + 1));
}

std::size_t AnimationStoryboard::Index(UI_ANIMATION_KEYFRAME keyframe) const
{
    return static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(keyframe)) - 1;
}

bool AnimationStoryboard::Known(UI_ANIMATION_KEYFRAME keyframe) const
{
    if (keyframe == UI_ANIMATION_KEYFRAME_STORYBOARD_START)
        return true;
    return keyframe != nullptr && Index(keyframe) < keyframes.size();
}

HRESULT AnimationStoryboard::AddKeyframe(Keyframe keyframe, UI_ANIMATION_KEYFRAME* handle)
{
    keyframes.push_back(keyframe);
    *handle = Handle(keyframes.size() - 1);
    return S_OK;
}

HRESULT AnimationStoryboard::AddKeyframeAtOffset(UI_ANIMATION_KEYFRAME existingKeyframe, double offset,
                                                 UI_ANIMATION_KEYFRAME* keyframe)
{
    if (keyframe == nullptr)
        return E_POINTER;
    if (status != UI_ANIMATION_STORYBOARD_BUILDING)
        return ObjectSealed;
    if (!Known(existingKeyframe) || !std::isfinite(offset) || offset < 0)
        return E_INVALIDARG;
    return AddKeyframe({existingKeyframe, offset, std::nullopt}, keyframe);
}

HRESULT AnimationStoryboard::AddKeyframeAfterTransition(IUIAnimationTransition2* transition,
                                                        UI_ANIMATION_KEYFRAME* keyframe)
{
    if (keyframe == nullptr)
        return E_POINTER;
    if (status != UI_ANIMATION_STORYBOARD_BUILDING)
        return ObjectSealed;
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [transition](const Entry& entry) { return entry.transitionReference.Get() == transition; });
    if (transition == nullptr || found == entries.end())
        return TransitionNotInStoryboard;
    return AddKeyframe({UI_ANIMATION_KEYFRAME_STORYBOARD_START, 0, static_cast<std::size_t>(found - entries.begin())},
                       keyframe);
}

HRESULT AnimationStoryboard::AddTransitionAtKeyframe(IUIAnimationVariable2* variable,
                                                     IUIAnimationTransition2* transition,
                                                     UI_ANIMATION_KEYFRAME startKeyframe)
{
    if (status != UI_ANIMATION_STORYBOARD_BUILDING)
        return ObjectSealed;
    AnimationVariable* ownVariable = AnimationImplementation<AnimationVariable>(variable);
    AnimationTransition* ownTransition = AnimationImplementation<AnimationTransition>(transition);
    if (ownVariable == nullptr || ownTransition == nullptr || !Known(startKeyframe))
        return E_INVALIDARG;
    if (ownVariable->Scheduler() != scheduler)
        return DifferentOwner;
    if (ownTransition->Owner() != nullptr)
        return TransitionAlreadyUsed;
    entries.push_back({variable, ownVariable, transition, ownTransition, startKeyframe});
    ownTransition->SetOwner(this);
    return S_OK;
}

HRESULT AnimationStoryboard::Schedule(double timeNow, UI_ANIMATION_SCHEDULING_RESULT* schedulingResult)
{
    const HRESULT result = scheduler->Schedule(this, timeNow);
    if (schedulingResult != nullptr)
        *schedulingResult = SUCCEEDED(result) ? UI_ANIMATION_SCHEDULING_SUCCEEDED
                                              : UI_ANIMATION_SCHEDULING_UNEXPECTED_FAILURE;
    return result;
}

HRESULT AnimationStoryboard::Abandon() { return scheduler->Abandon(this); }

HRESULT AnimationStoryboard::GetStatus(UI_ANIMATION_STORYBOARD_STATUS* result)
{
    if (result == nullptr)
        return E_POINTER;
    *result = status;
    return S_OK;
}

double AnimationStoryboard::EndTime() const
{
    double end = startTime;
    for (const auto& segment : segments)
        if (segment && !segment->removed)
            end = std::max(end, segment->End());
    return end;
}

bool AnimationStoryboard::Displaced() const
{
    return !segments.empty() &&
           std::all_of(segments.begin(), segments.end(), [](const auto& segment) { return segment->Spent(); });
}

std::vector<AnimationVariable*> AnimationStoryboard::Variables() const
{
    std::vector<AnimationVariable*> variables;
    for (const Entry& entry : entries)
        if (std::find(variables.begin(), variables.end(), entry.variable) == variables.end())
            variables.push_back(entry.variable);
    return variables;
}

double AnimationStoryboard::KeyframeTime(UI_ANIMATION_KEYFRAME keyframe,
                                         std::vector<std::optional<double>>& times) const
{
    if (keyframe == UI_ANIMATION_KEYFRAME_STORYBOARD_START)
        return startTime;
    const std::size_t index = Index(keyframe);
    if (!times[index]) {
        const Keyframe& definition = keyframes[index];
        // A keyframe only ever refers to what was added before it, which is laid out already.
        if (definition.afterEntry) {
            const AnimationSegment& segment = *segments[*definition.afterEntry];
            times[index] = segment.start + segment.curve.Duration();
        } else {
            times[index] = KeyframeTime(definition.base, times) + definition.offset;
        }
    }
    return *times[index];
}

void AnimationStoryboard::Lay(double start, std::uint64_t& sequence)
{
    startTime = start;
    segments.assign(entries.size(), nullptr);
    std::vector<std::optional<double>> times(keyframes.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        const double begin = KeyframeTime(entry.keyframe, times);
        // Each transition starts from where the schedule has its variable at that moment.
        AnimationCurve curve(entry.transition->Parameters(), entry.variable->ValueAt(begin),
                             entry.variable->VelocityAt(begin));
        segments[i] = std::make_shared<AnimationSegment>(begin, curve, sequence++);
        entry.variable->Add(segments[i]);
    }
}

void AnimationStoryboard::Withdraw(double now, bool started)
{
    for (std::size_t i = 0; i < segments.size(); ++i) {
        AnimationSegment& segment = *segments[i];
        if (!started || segment.start > now) {
            segment.removed = true;
            entries[i].variable->Remove(&segment);
        } else {
            segment.cutAt = std::min(segment.cutAt, now);
        }
    }
}

}  // namespace F3
