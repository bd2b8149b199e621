#pragma once

#include "F3/AccessibilityProvider.h"

namespace F3::Accessibility {

// The progress bar: a read-only RangeValue from 0 to 100 over IProgressBarAccessibilityExtension,
// announced politely as the window's main landmark.
class ProgressBarAccessibilityProvider final : public AccessibilityProvider<IRangeValueProvider> {
public:
    HRESULT STDMETHODCALLTYPE SetValue(double value) override;
    HRESULT STDMETHODCALLTYPE get_Value(double* value) override;
    HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL* readOnly) override;
    HRESULT STDMETHODCALLTYPE get_Maximum(double* maximum) override;
    HRESULT STDMETHODCALLTYPE get_Minimum(double* minimum) override;
    HRESULT STDMETHODCALLTYPE get_LargeChange(double* change) override;
    HRESULT STDMETHODCALLTYPE get_SmallChange(double* change) override;

protected:
    int DefaultControlType() const override { return UIA_ProgressBarControlTypeId; }
    HRESULT ProviderPropertyValue(const Component& locked, PROPERTYID propertyId, VARIANT& value) override;
    bool SupportsPattern(const Component& locked, PATTERNID patternId) const override;
};

}  // namespace F3::Accessibility
