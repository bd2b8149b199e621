#pragma once

#include "F3/AccessibilityProvider.h"

namespace F3::Accessibility {

// The page container: a pane that is neither a control nor a content element of its own.
class ContainerAccessibilityProvider final : public AccessibilityProvider<> {
protected:
    int DefaultControlType() const override { return UIA_PaneControlTypeId; }
    HRESULT ProviderPropertyValue(const Component& locked, PROPERTYID propertyId, VARIANT& value) override;
};

}  // namespace F3::Accessibility
