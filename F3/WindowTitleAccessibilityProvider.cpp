#include "F3/WindowTitleAccessibilityProvider.h"

namespace F3::Accessibility {

HRESULT WindowTitleAccessibilityProvider::ProviderPropertyValue(const Component& locked, PROPERTYID propertyId,
                                                                VARIANT& value)
{
    if (propertyId != UIA_IsContentElementPropertyId)
        return S_FALSE;
    SetBool(value, false);
    return S_OK;
}

}  // namespace F3::Accessibility
