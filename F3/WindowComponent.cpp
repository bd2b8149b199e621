#include "F3/WindowComponent.h"

namespace F3 {

WindowComponent::WindowComponent(HWND targetWindow, int hitTestCode, int systemCommand, float x, float y,
                                 float width, float height)
    : AccessibleComponent(x, y, width, height), targetWindow(targetWindow), hitTestCode(hitTestCode),
      systemCommand(systemCommand)
{
    AddTypeNames({"window"});
    // Fully transparent: nothing shows, but the window still takes the mouse.
    SetBackgroundColour(Gdiplus::Color(0x00FFFFFF));
    SetCursor(IDC_HAND);
    SetFocusable(true);
}

void WindowComponent::Invoke() { DefaultAction(); }

void WindowComponent::DefaultAction()
{
    PostMessageW(targetWindow, WM_SYSCOMMAND, static_cast<WPARAM>(systemCommand), 0);
}

LRESULT WindowComponent::HitTest(int, int) { return hitTestCode; }

LRESULT WindowComponent::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The press is swallowed, so the system neither tracks a frame button nor starts a move; the
    // command goes out on release.
    if (message == WM_NCLBUTTONDOWN && static_cast<int>(wParam) == hitTestCode)
        return 0;
    if (message == WM_NCLBUTTONUP) {
        if (static_cast<int>(wParam) == hitTestCode) {
            Invoke();
            return 0;
        }
        if (wParam == HTOBJECT)
            return 0;
    }
    return AccessibleComponent::HandleMessage(window, message, wParam, lParam);
}

}  // namespace F3
