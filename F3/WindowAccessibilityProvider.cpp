#include "F3/WindowAccessibilityProvider.h"

namespace F3::Accessibility {

using Extension = IWindowAccessibilityExtension;

HRESULT WindowAccessibilityProvider::SetVisualState(enum WindowVisualState state)
{
    if (state != WindowVisualState_Normal && state != WindowVisualState_Minimized &&
        state != WindowVisualState_Maximized)
        return E_INVALIDARG;
    return Perform<Extension>("SetVisualState", [state](Extension& window) {
        if (state == WindowVisualState_Normal)
            window.Restore();
        else if (state == WindowVisualState_Minimized)
            window.Minimise();
        // The window cannot be maximised.
    });
}

HRESULT WindowAccessibilityProvider::Close()
{
    return Perform<Extension>("Close", [](Extension& window) { window.Close(); });
}

HRESULT WindowAccessibilityProvider::WaitForInputIdle(int milliseconds, BOOL* idle)
{
    return Query<Extension>("WaitForInputIdle", idle, FALSE, [](Extension&) { return true; });
}

HRESULT WindowAccessibilityProvider::get_CanMaximize(BOOL* canMaximize)
{
    return Query<Extension>("get_CanMaximize", canMaximize, FALSE, [](Extension&) { return false; });
}

HRESULT WindowAccessibilityProvider::get_CanMinimize(BOOL* canMinimize)
{
    return Query<Extension>("get_CanMinimize", canMinimize, FALSE,
                            [](Extension& window) { return !window.IsMinimised(); });
}

HRESULT WindowAccessibilityProvider::get_IsModal(BOOL* modal)
{
    return Query<Extension>("get_IsModal", modal, FALSE, [](Extension&) { return true; });
}

HRESULT WindowAccessibilityProvider::get_WindowVisualState(enum WindowVisualState* state)
{
    return Query<Extension>("get_WindowVisualState", state, WindowVisualState_Normal, [](Extension& window) {
        return window.IsMinimised() ? WindowVisualState_Minimized : WindowVisualState_Normal;
    });
}

HRESULT WindowAccessibilityProvider::get_WindowInteractionState(enum WindowInteractionState* state)
{
    return Query<Extension>("get_WindowInteractionState", state, WindowInteractionState_Closing,
                            [](Extension& window) { return window.GetInteractionState(); });
}

HRESULT WindowAccessibilityProvider::get_IsTopmost(BOOL* topmost)
{
    return Query<Extension>("get_IsTopmost", topmost, FALSE, [](Extension& window) { return window.IsTopmost(); });
}

bool WindowAccessibilityProvider::SupportsPattern(const Component& locked, PATTERNID patternId) const
{
    return patternId == UIA_WindowPatternId;
}

}  // namespace F3::Accessibility
