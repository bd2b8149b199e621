#pragma once

#include <functional>

#include "F3/AccessibleComponent.h"
#include "F3/IPageNavigator.h"
#include "F3/ScrollableAccessibilityProvider.h"

namespace F3 {

// The base of every page: one area of a page container, which sizes it and hands it the way
// to the other pages. Pages do not scroll; UI Automation sees them as scroll items only.
class PageSubComponent
    : public AccessibleComponent<Accessibility::ScrollableAccessibilityProvider,
                                 Accessibility::IScrollableAccessibilityExtension>,
      public IPageNavigator {
public:
    PageSubComponent(float left, float top, float width, float height);

    virtual void SetBounds(float left, float top, float width, float height);

    void Scroll(int horizontalAmount, int verticalAmount) override;
    void SetScrollPercent(double horizontalPercent, double verticalPercent) override;
    bool IsHorizontallyScrollable() const override;
    bool IsVerticallyScrollable() const override;
    double GetHorizontalScrollPercent() const override;
    double GetVerticalScrollPercent() const override;
    // The page's size in device pixels: all of it is in view.
    double GetHorizontalViewSize() const override;
    double GetVerticalViewSize() const override;
    bool IsScrollPatternAvailable() const override;
    void ScrollIntoView() override;

protected:
    // Shows another page of the same container; empty until the container sets it.
    std::function<void(int)> navigator;
};

}  // namespace F3
