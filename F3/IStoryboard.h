#pragma once

namespace F3 {

class AnimatedBase;

// Builds one storyboard. Each transition is added at the current start keyframe, the storyboard
// start at first; Then, ThenAfter and At move that keyframe. Every call but Schedule returns the
// storyboard so that calls chain. Durations, speeds and offsets are in seconds.
class IStoryboard {
public:
    virtual ~IStoryboard() = default;
    // Plays the storyboard delay seconds from now; a storyboard still playing starts over.
    virtual void Schedule(double delay) = 0;
    virtual IStoryboard& Instant(AnimatedBase& variable, const AnimatedBase& target) = 0;
    virtual IStoryboard& Linear(AnimatedBase& variable, const AnimatedBase& target, double duration) = 0;
    virtual IStoryboard& LinearSpeed(AnimatedBase& variable, const AnimatedBase& target, double speed) = 0;
    // Turns the variable's motion round; it ends where it started.
    virtual IStoryboard& Reversal(AnimatedBase& variable, double duration) = 0;
    virtual IStoryboard& Cubic(AnimatedBase& variable, const AnimatedBase& target, double duration,
                               double finalVelocity) = 0;
    virtual IStoryboard& SmoothStop(AnimatedBase& variable, const AnimatedBase& target,
                                    double maximumDuration) = 0;
    virtual IStoryboard& AccelerateDecelerate(AnimatedBase& variable, const AnimatedBase& target, double duration,
                                              double accelerationRatio, double decelerationRatio) = 0;
    // What follows starts when the last added transition ends; throws std::runtime_error when
    // there is none.
    virtual IStoryboard& Then() = 0;
    // What follows starts offset seconds after the current start keyframe.
    virtual IStoryboard& ThenAfter(double offset) = 0;
    // What follows starts offset seconds after the storyboard's start.
    virtual IStoryboard& At(double offset) = 0;
    // Lets go of what only building needs; no transition can be added afterwards.
    virtual IStoryboard& ReleaseBuilder() = 0;
};

}  // namespace F3
