#include "F3/ShadowButton.h"

#include <utility>
#include <variant>

#include "F3/Shapes.h"
#include "F3/TextDrawing.h"

namespace F3 {
namespace {

std::vector<std::string> WithShadowStyle(std::vector<std::string> styleNames)
{
    styleNames.insert(styleNames.begin(), "shadow-button");
    return styleNames;
}

}  // namespace

ShadowButton::ShadowButton(std::function<void()> onClick, std::wstring labelKey, float right, float top,
                           std::vector<std::string> styleNames, ButtonSize size, ShadowInsets insets,
                           bool accessible)
    : ButtonBase(std::move(onClick), std::move(labelKey), right - insets.third, top - insets.fourth,
                 WithShadowStyle(std::move(styleNames)), size, accessible),
      insets(insets)
{
    Grow(2 * insets.third, insets.fourth);
}

void ShadowButton::ApplyTheme()
{
    shadowColour = std::get<Gdiplus::Color>(GetThemeValue("colour-shadow")).GetValue();
    shadowHoverColour = std::get<Gdiplus::Color>(GetThemeValue("colour-shadow-hover")).GetValue();
    ButtonBase::ApplyTheme();
}

void ShadowButton::OnMouseEnter()
{
    ButtonBase::OnMouseEnter();
    // The shadow follows the mouse also when the face colour does not move.
    Invalidate();
}

void ShadowButton::OnMouseLeave()
{
    ButtonBase::OnMouseLeave();
    Invalidate();
}

void ShadowButton::PaintBackground(Gdiplus::Graphics& graphics)
{
    // The component's own background only: the face is drawn over the shadow below.
    Component::PaintBackground(graphics);
    const float width = GetWidth();
    const float height = GetHeight();
    if (IsMouseOver()) {
        FillShadow(graphics, 0, 0, width, height, GetCornerDiameter(), Gdiplus::Color(shadowHoverColour));
    } else {
        const float side = insets.third - insets.first;
        const float below = insets.fourth - insets.second;
        FillShadow(graphics, side, 0, width - side, height - below, GetCornerDiameter(), Gdiplus::Color(shadowColour));
    }
    FillRoundedRectangle(graphics, insets.third, 0, width - insets.third, height - insets.fourth, GetCornerDiameter(),
                         Gdiplus::Color(GetColour()));
}

void ShadowButton::Paint(Gdiplus::Graphics& graphics)
{
    Gdiplus::StringFormat format(Gdiplus::StringFormatFlagsNoWrap);
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    // Reaching as far above the face as the shadow's room below it centres the label on the face.
    DrawTextBlock(graphics, GetFont(), GetLabel(), format, Gdiplus::Color(GetFontColour()),
                  Gdiplus::RectF(0, -insets.fourth, GetWidth(), GetHeight() + insets.fourth));
}

}  // namespace F3
