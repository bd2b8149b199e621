#pragma once

#include "F3/AccessibilityProvider.h"

namespace F3::Accessibility {

// Buttons: the Invoke pattern over IButtonAccessibilityExtension.
class ButtonAccessibilityProvider final : public AccessibilityProvider<IInvokeProvider> {
public:
    HRESULT STDMETHODCALLTYPE Invoke() override;

protected:
    int DefaultControlType() const override { return UIA_ButtonControlTypeId; }
    bool SupportsPattern(const Component& locked, PATTERNID patternId) const override;
};

}  // namespace F3::Accessibility
