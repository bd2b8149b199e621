#include "F3/ShadowImageButton.h"

#include <utility>

#include "F3/TextDrawing.h"

namespace F3 {
namespace {

constexpr float kImageSize = 16;
constexpr float kImageTop = 11;
constexpr float kImageGap = 8;

}  // namespace

ShadowImageButton::ShadowImageButton(std::function<void()> onClick, std::wstring labelKey, float right, float top,
                                     std::vector<std::string> styleNames, ButtonSize size, ShadowInsets insets,
                                     std::shared_ptr<PngImage> image, bool accessible)
    : ShadowButton(std::move(onClick), std::move(labelKey), right, top, std::move(styleNames), size, insets,
                   accessible),
      image(std::move(image))
{
    Grow(kImageSize, 0);
}

void ShadowImageButton::Paint(Gdiplus::Graphics& graphics)
{
    if (image)
        image->Draw(graphics, GetPadding(), kImageTop, 0, 0, kImageSize, kImageSize, 255);
    Gdiplus::StringFormat format(Gdiplus::StringFormatFlagsNoWrap);
    format.SetAlignment(Gdiplus::StringAlignmentNear);
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    const float left = GetPadding() + kImageSize + kImageGap;
    const float top = -GetInsets().fourth;
    DrawTextBlock(graphics, GetFont(), GetLabel(), format, Gdiplus::Color(GetFontColour()),
                  Gdiplus::RectF(left, top, GetWidth() - left, GetHeight() - top));
}

}  // namespace F3
