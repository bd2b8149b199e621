#include "F3/AccessibilityProvider.h"

#include "F3/UiaCore.h"
#include "halvlib/Logging.h"

namespace F3::Accessibility {

void SetBool(VARIANT& value, bool answer)
{
    value.vt = VT_BOOL;
    value.boolVal = answer ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetInt(VARIANT& value, int answer)
{
    value.vt = VT_I4;
    value.lVal = answer;
}

void SetDouble(VARIANT& value, double answer)
{
    value.vt = VT_R8;
    value.dblVal = answer;
}

HRESULT SetString(VARIANT& value, const std::wstring& answer)
{
    BSTR text = SysAllocStringLen(answer.data(), static_cast<UINT>(answer.size()));
    if (!text)
        return E_OUTOFMEMORY;
    value.vt = VT_BSTR;
    value.bstrVal = text;
    return S_OK;
}

HRESULT ComponentPropertyValue(const Component& component, PROPERTYID propertyId, int controlType, VARIANT& value)
{
    switch (propertyId) {
    case UIA_ControlTypePropertyId:
        SetInt(value, controlType);
        return S_OK;
    case UIA_NamePropertyId:
        return SetString(value, component.GetName());
    case UIA_HasKeyboardFocusPropertyId:
        SetBool(value, component.HasKeyboardFocus());
        return S_OK;
    case UIA_IsKeyboardFocusablePropertyId:
        SetBool(value, component.IsKeyboardFocusable());
        return S_OK;
    case UIA_IsEnabledPropertyId:
        SetBool(value, component.IsEnabled());
        return S_OK;
    case UIA_HelpTextPropertyId:
        if (const auto help = component.GetHelpText())
            return SetString(value, *help);
        return S_OK;
    case UIA_FullDescriptionPropertyId:
        if (const auto description = component.GetFullDescriptionText())
            return SetString(value, *description);
        return S_OK;
    default:
        return S_OK;
    }
}

HRESULT HostProviderOf(const Component& component, IRawElementProviderSimple** host)
{
    *host = nullptr;
    const HWND window = component.GetHandle();
    if (!window || !UiaCore::Functions().hostProviderFromHwnd)
        return S_OK;
    return UiaCore::HostProviderFromHwnd(window, host);
}

void LogProviderFailure(const char* method, const char* what)
{
    if (what) {
        HALVLIB_LOG(halvlib::logging::Error) << "UI Automation " << method << " failed: " << what;
    } else {
        HALVLIB_LOG(halvlib::logging::Error) << "UI Automation " << method << " failed";
    }
}

}  // namespace F3::Accessibility
