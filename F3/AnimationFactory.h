#pragma once

#include <memory>

#include "F3/IAnimationManager.h"

namespace F3 {

// Makes the window's animation manager over the Windows Animation Manager, or over the built-in
// engine where the system's classes cannot be created.
class AnimationFactory : public IAnimationFactory {
public:
    std::shared_ptr<IAnimationManager> Create() override;
};

}  // namespace F3
