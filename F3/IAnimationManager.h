#pragma once

#include <memory>

namespace F3 {

class IStoryboard;

// Runs the storyboards of the window; polled on every timer tick.
class IAnimationManager {
public:
    virtual ~IAnimationManager() = default;
    // Moves every running storyboard to the present; true when an animated value changed.
    virtual bool Update() = 0;
    virtual std::unique_ptr<IStoryboard> CreateStoryboard() = 0;
};

// Makes the animation manager at start-up.
class IAnimationFactory {
public:
    virtual std::shared_ptr<IAnimationManager> Create() = 0;
    virtual ~IAnimationFactory() = default;
};

}  // namespace F3
