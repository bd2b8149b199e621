#include "F3/ContainerAccessibilityProvider.h"

namespace F3::Accessibility {

HRESULT ContainerAccessibilityProvider::ProviderPropertyValue(const Component& locked, PROPERTYID propertyId,
                                                              VARIANT& value)
{
    if (propertyId != UIA_IsControlElementPropertyId && propertyId != UIA_IsContentElementPropertyId)
        return S_FALSE;
    SetBool(value, false);
    return S_OK;
}

}  // namespace F3::Accessibility
