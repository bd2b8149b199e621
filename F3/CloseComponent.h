#pragma once

#include <windows.h>

#include "F3/TitleBarButton.h"

namespace F3 {

// The title-bar button that closes the top-level window.
class CloseComponent : public TitleBarButton {
public:
    CloseComponent(HWND owner, float left, float top, float width, float height, float iconSize, int iconId);
};

}  // namespace F3
