#pragma once

#include <vector>

namespace F3 {

// The animation variables behind one animated value, one per component.
class IAnimatedVariable {
public:
    virtual ~IAnimatedVariable() = default;
    // The current value of every component; empty when a component cannot be read.
    virtual std::vector<float> Read() = 0;
    // True when a component moved on the last update.
    virtual bool HasChanged() = 0;
};

}  // namespace F3
