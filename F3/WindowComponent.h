#pragma once

#include <windows.h>

#include "F3/AccessibleComponent.h"
#include "F3/ButtonAccessibilityProvider.h"

namespace F3 {

// The base of the title-bar buttons: its area answers as a part of the window frame (a hit-test
// code such as HTCLOSE), and a click sends a system command to the top-level window.
class WindowComponent : public AccessibleComponent<Accessibility::ButtonAccessibilityProvider,
                                                   Accessibility::IButtonAccessibilityExtension> {
public:
    WindowComponent(HWND targetWindow, int hitTestCode, int systemCommand, float x, float y, float width,
                    float height);

    using Component::Invoke;
    // Posts the system command; safe from any thread.
    void Invoke() override;
    void DefaultAction() override;
    LRESULT HitTest(int x, int y) override;
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    HWND GetTargetWindow() const { return targetWindow; }
    int GetHitTestCode() const { return hitTestCode; }
    int GetSystemCommand() const { return systemCommand; }

private:
    HWND targetWindow;
    int hitTestCode;
    int systemCommand;
};

}  // namespace F3
