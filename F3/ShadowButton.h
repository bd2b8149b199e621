#pragma once

#include "F3/ButtonBase.h"

namespace F3 {

// How far the shadow reaches past a shadow button's face, in DIP: first and second are the
// shadow's own side and bottom insets, third and fourth the room kept for it beside and below
// the face.
struct ShadowInsets {
    float first = 0;
    float second = 0;
    float third = 0;
    float fourth = 0;
};

// A pill-shaped button face over a soft shadow, with its label centred on the face.
class ShadowButton : public ButtonBase {
public:
    // right and top are the face's; the button's own area takes in the shadow's room.
    ShadowButton(std::function<void()> onClick, std::wstring labelKey, float right, float top,
                 std::vector<std::string> styleNames, ButtonSize size, ShadowInsets insets, bool accessible = true);

    void ApplyTheme() override;
    void OnMouseEnter() override;
    void OnMouseLeave() override;
    void PaintBackground(Gdiplus::Graphics& graphics) override;
    void Paint(Gdiplus::Graphics& graphics) override;

    const ShadowInsets& GetInsets() const { return insets; }
    Gdiplus::ARGB GetShadowColour() const { return shadowColour; }
    Gdiplus::ARGB GetShadowHoverColour() const { return shadowHoverColour; }

private:
    ShadowInsets insets;
    Gdiplus::ARGB shadowColour = 0xFF000000;
    Gdiplus::ARGB shadowHoverColour = 0xFF000000;
};

}  // namespace F3
