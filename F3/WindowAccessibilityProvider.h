#pragma once

#include "F3/AccessibilityProvider.h"

namespace F3::Accessibility {

// The form: the Window pattern over IWindowAccessibilityExtension.
class WindowAccessibilityProvider final : public AccessibilityProvider<IWindowProvider> {
public:
    HRESULT STDMETHODCALLTYPE SetVisualState(enum WindowVisualState state) override;
    HRESULT STDMETHODCALLTYPE Close() override;
    HRESULT STDMETHODCALLTYPE WaitForInputIdle(int milliseconds, BOOL* idle) override;
    HRESULT STDMETHODCALLTYPE get_CanMaximize(BOOL* canMaximize) override;
    HRESULT STDMETHODCALLTYPE get_CanMinimize(BOOL* canMinimize) override;
    HRESULT STDMETHODCALLTYPE get_IsModal(BOOL* modal) override;
    HRESULT STDMETHODCALLTYPE get_WindowVisualState(enum WindowVisualState* state) override;
    HRESULT STDMETHODCALLTYPE get_WindowInteractionState(enum WindowInteractionState* state) override;
    HRESULT STDMETHODCALLTYPE get_IsTopmost(BOOL* topmost) override;

protected:
    int DefaultControlType() const override { return UIA_WindowControlTypeId; }
    bool SupportsPattern(const Component& locked, PATTERNID patternId) const override;
};

}  // namespace F3::Accessibility
