#include "F3/CloseComponent.h"

namespace F3 {

CloseComponent::CloseComponent(HWND owner, float left, float top, float width, float height, float iconSize,
                               int iconId)
    : TitleBarButton(owner, HTCLOSE, SC_CLOSE, "close", left, top, width, height, iconSize, iconId)
{
}

}  // namespace F3
