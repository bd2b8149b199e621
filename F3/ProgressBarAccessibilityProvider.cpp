#include "F3/ProgressBarAccessibilityProvider.h"

#include <limits>

namespace F3::Accessibility {
namespace {

using Extension = IProgressBarAccessibilityExtension;

constexpr double kMinimum = 0.0;
constexpr double kMaximum = 100.0;
constexpr int kLiveSettingPolite = 1;

}  // namespace

HRESULT ProgressBarAccessibilityProvider::SetValue(double value) { return E_NOTIMPL; }

HRESULT ProgressBarAccessibilityProvider::get_Value(double* value)
{
    return Query<Extension>("get_Value", value, 0.0, [](Extension& bar) { return bar.GetValue(); });
}

HRESULT ProgressBarAccessibilityProvider::get_IsReadOnly(BOOL* readOnly)
{
    return Query<Extension>("get_IsReadOnly", readOnly, FALSE, [](Extension&) { return true; });
}

HRESULT ProgressBarAccessibilityProvider::get_Maximum(double* maximum)
{
    return Query<Extension>("get_Maximum", maximum, 0.0, [](Extension&) { return kMaximum; });
}

HRESULT ProgressBarAccessibilityProvider::get_Minimum(double* minimum)
{
    return Query<Extension>("get_Minimum", minimum, 0.0, [](Extension&) { return kMinimum; });
}

HRESULT ProgressBarAccessibilityProvider::get_LargeChange(double* change)
{
    // No steps: the value only follows the install.
    return Query<Extension>("get_LargeChange", change, 0.0,
                            [](Extension&) { return std::numeric_limits<double>::quiet_NaN(); });
}

HRESULT ProgressBarAccessibilityProvider::get_SmallChange(double* change)
{
    return Query<Extension>("get_SmallChange", change, 0.0,
                            [](Extension&) { return std::numeric_limits<double>::quiet_NaN(); });
}

HRESULT ProgressBarAccessibilityProvider::ProviderPropertyValue(const Component& locked, PROPERTYID propertyId,
                                                                VARIANT& value)
{
    switch (propertyId) {
    case UIA_RangeValueValuePropertyId:
        if (const auto* bar = dynamic_cast<const Extension*>(&locked))
            SetDouble(value, bar->GetValue());
        return S_OK;
    case UIA_LiveSettingPropertyId:
        SetInt(value, kLiveSettingPolite);
        return S_OK;
    case UIA_LandmarkTypePropertyId:
        SetInt(value, UIA_MainLandmarkTypeId);
        return S_OK;
    default:
        return S_FALSE;
    }
}

bool ProgressBarAccessibilityProvider::SupportsPattern(const Component& locked, PATTERNID patternId) const
{
    return patternId == UIA_RangeValuePatternId;
}

}  // namespace F3::Accessibility
