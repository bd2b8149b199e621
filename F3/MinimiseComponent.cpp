#include "F3/MinimiseComponent.h"

namespace F3 {

MinimiseComponent::MinimiseComponent(HWND owner, float left, float top, float width, float height, float iconSize,
                                     int iconId)
    : TitleBarButton(owner, HTMINBUTTON, SC_MINIMIZE, "minimise", left, top, width, height, iconSize, iconId)
{
}

}  // namespace F3
