#include "F3/ScrollableAccessibilityProvider.h"

namespace F3::Accessibility {

using Extension = IScrollableAccessibilityExtension;

HRESULT ScrollableAccessibilityProvider::Scroll(enum ScrollAmount horizontalAmount, enum ScrollAmount verticalAmount)
{
    return Perform<Extension>("Scroll", [=](Extension& page) { page.Scroll(horizontalAmount, verticalAmount); });
}

HRESULT ScrollableAccessibilityProvider::SetScrollPercent(double horizontalPercent, double verticalPercent)
{
    return Perform<Extension>("SetScrollPercent",
                              [=](Extension& page) { page.SetScrollPercent(horizontalPercent, verticalPercent); });
}

HRESULT ScrollableAccessibilityProvider::get_HorizontalScrollPercent(double* percent)
{
    return Query<Extension>("get_HorizontalScrollPercent", percent, 0.0,
                            [](Extension& page) { return page.GetHorizontalScrollPercent(); });
}

HRESULT ScrollableAccessibilityProvider::get_VerticalScrollPercent(double* percent)
{
    return Query<Extension>("get_VerticalScrollPercent", percent, 0.0,
                            [](Extension& page) { return page.GetVerticalScrollPercent(); });
}

HRESULT ScrollableAccessibilityProvider::get_HorizontalViewSize(double* size)
{
    return Query<Extension>("get_HorizontalViewSize", size, 0.0,
                            [](Extension& page) { return page.GetHorizontalViewSize(); });
}

HRESULT ScrollableAccessibilityProvider::get_VerticalViewSize(double* size)
{
    return Query<Extension>("get_VerticalViewSize", size, 0.0,
                            [](Extension& page) { return page.GetVerticalViewSize(); });
}

HRESULT ScrollableAccessibilityProvider::get_HorizontallyScrollable(BOOL* scrollable)
{
    return Query<Extension>("get_HorizontallyScrollable", scrollable, FALSE,
                            [](Extension& page) { return page.IsHorizontallyScrollable(); });
}

HRESULT ScrollableAccessibilityProvider::get_VerticallyScrollable(BOOL* scrollable)
{
    return Query<Extension>("get_VerticallyScrollable", scrollable, FALSE,
                            [](Extension& page) { return page.IsVerticallyScrollable(); });
}

HRESULT ScrollableAccessibilityProvider::ScrollIntoView()
{
    return Perform<Extension>("ScrollIntoView", [](Extension& page) { page.ScrollIntoView(); });
}

bool ScrollableAccessibilityProvider::SupportsPattern(const Component& locked, PATTERNID patternId) const
{
    if (patternId == UIA_ScrollItemPatternId)
        return true;
    if (patternId != UIA_ScrollPatternId)
        return false;
    const auto* page = dynamic_cast<const Extension*>(&locked);
    return page && page->IsScrollPatternAvailable();
}

}  // namespace F3::Accessibility
