#include "F3/TitleBarButton.h"

namespace F3 {

TitleBarButton::TitleBarButton(HWND owner, int hitTestCode, int systemCommand, const std::string& typeName,
                               float left, float top, float width, float height, float iconSize, int iconId)
    : WindowComponent(owner, hitTestCode, systemCommand, left, top, width, height), icon(PngImage::Load(iconId)),
      iconSize(iconSize)
{
    AddTypeNames({typeName});
}

void TitleBarButton::Paint(Gdiplus::Graphics& graphics)
{
    if (icon)
        icon->Draw(graphics, 0, 0, 0, 0, iconSize, iconSize, 255);
}

}  // namespace F3
