#pragma once

#include "F3/AccessibilityProvider.h"

namespace F3::Accessibility {

// Pages: the Scroll and ScrollItem patterns over IScrollableAccessibilityExtension. Scroll is
// offered only while the page says it is available; ScrollItem always.
class ScrollableAccessibilityProvider final : public AccessibilityProvider<IScrollProvider, IScrollItemProvider> {
public:
    HRESULT STDMETHODCALLTYPE Scroll(enum ScrollAmount horizontalAmount, enum ScrollAmount verticalAmount) override;
    HRESULT STDMETHODCALLTYPE SetScrollPercent(double horizontalPercent, double verticalPercent) override;
    HRESULT STDMETHODCALLTYPE get_HorizontalScrollPercent(double* percent) override;
    HRESULT STDMETHODCALLTYPE get_VerticalScrollPercent(double* percent) override;
    HRESULT STDMETHODCALLTYPE get_HorizontalViewSize(double* size) override;
    HRESULT STDMETHODCALLTYPE get_VerticalViewSize(double* size) override;
    HRESULT STDMETHODCALLTYPE get_HorizontallyScrollable(BOOL* scrollable) override;
    HRESULT STDMETHODCALLTYPE get_VerticallyScrollable(BOOL* scrollable) override;
    HRESULT STDMETHODCALLTYPE ScrollIntoView() override;

protected:
    int DefaultControlType() const override { return UIA_PaneControlTypeId; }
    bool SupportsPattern(const Component& locked, PATTERNID patternId) const override;
};

}  // namespace F3::Accessibility
