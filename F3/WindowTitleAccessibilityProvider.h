#pragma once

#include "F3/AccessibilityProvider.h"

namespace F3::Accessibility {

// The header bar: always a title bar, whatever the component asks, and no content element.
class WindowTitleAccessibilityProvider final : public AccessibilityProvider<> {
protected:
    int DefaultControlType() const override { return UIA_TitleBarControlTypeId; }
    int ControlType(const Component& locked) const override { return UIA_TitleBarControlTypeId; }
    HRESULT ProviderPropertyValue(const Component& locked, PROPERTYID propertyId, VARIANT& value) override;
};

}  // namespace F3::Accessibility
