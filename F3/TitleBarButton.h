#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "F3/PngImage.h"
#include "F3/WindowComponent.h"

namespace F3 {

// A title-bar button that draws its icon and acts as its part of the non-client area.
class TitleBarButton : public WindowComponent {
public:
    // A missing icon draws nothing; the button still works.
    TitleBarButton(HWND owner, int hitTestCode, int systemCommand, const std::string& typeName, float left, float top,
                   float width, float height, float iconSize, int iconId);

    void Paint(Gdiplus::Graphics& graphics) override;

    float GetIconSize() const { return iconSize; }
    bool HasIcon() const { return icon != nullptr; }

private:
    std::unique_ptr<PngImage> icon;
    float iconSize;
};

}  // namespace F3
