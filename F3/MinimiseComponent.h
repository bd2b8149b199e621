#pragma once

#include <windows.h>

#include "F3/TitleBarButton.h"

namespace F3 {

// The title-bar button that minimises the top-level window.
class MinimiseComponent : public TitleBarButton {
public:
    MinimiseComponent(HWND owner, float left, float top, float width, float height, float iconSize, int iconId);
};

}  // namespace F3
