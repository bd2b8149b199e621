#pragma once

#include <functional>

namespace F3 {

// How a page is told to move to another page of its container, by key.
class IPageNavigator {
public:
    virtual ~IPageNavigator() = default;
    // Takes the callable over; the page calls it with the key of the page to show.
    virtual void SetNavigator(std::function<void(int)> navigator) = 0;
};

}  // namespace F3
