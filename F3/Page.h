#pragma once

#include <functional>

#include "F3/Animated.h"
#include "F3/PageSubComponent.h"

namespace F3 {

// A page of a page container. The container shows, hides, raises and slides it by animating
// the six values below; the page itself never changes them.
class Page : public PageSubComponent {
public:
    Page(float x, float y, float width, float height);

    void SetNavigator(std::function<void(int)> navigator) override;

    // The top edge in DIP.
    Animated<float>& Top() { return top; }
    // Non-zero asks for the page to be brought above its siblings.
    Animated<int>& Raise() { return raise; }
    // 1: visible.
    Animated<int>& Shown() { return shown; }
    // 1: enabled.
    Animated<int>& Enabled() { return enabled; }
    // 0 to 255, while fading is 1; -1 until first set.
    Animated<int>& Alpha() { return alpha; }
    // Anything but 1 keeps the page opaque.
    Animated<int>& Fading() { return fading; }

private:
    Animated<float> top{0.0f};
    Animated<int> raise{0};
    Animated<int> shown{0};
    Animated<int> enabled{0};
    Animated<int> alpha{-1};
    Animated<int> fading{0};
};

}  // namespace F3
