#include "F3/HeaderBar.h"

#include <utility>
#include <variant>

#include "F3/TextDrawing.h"

namespace F3 {

HeaderBar::HeaderBar(HWND owner, float width, float height, HeaderBarSettings settings)
    : AccessibleComponent(0, 0, width, height),
      logo(settings.logoImageId ? PngImage::Load(settings.logoImageId) : nullptr), settings(settings), owner(owner)
{
    AddTypeNames({"form"});
    SetMouseTransparent(true);
}

void HeaderBar::ApplyTheme()
{
    AccessibleComponent::ApplyTheme();
    SetBackgroundColour(std::get<Gdiplus::Color>(GetThemeValue("colour-background")));
    fontColour = std::get<Gdiplus::Color>(GetThemeValue("colour-font")).GetValue();
}

void HeaderBar::OnCreate()
{
    AccessibleComponent::OnCreate();
    const float width = GetWidth();
    const float size = settings.buttonSize;
    if (settings.minimiseIconId != 0) {
        const float left = width - settings.buttonRightMargin - size - settings.buttonGap - size;
        minimiseButton = std::make_shared<MinimiseComponent>(owner, left, settings.buttonTop, size, size, size,
                                                             settings.minimiseIconId);
        AddChild(minimiseButton);
    }
    if (settings.closeIconId != 0) {
        const float left = width - settings.buttonRightMargin - size;
        closeButton = std::make_shared<CloseComponent>(owner, left, settings.buttonTop, size, size, size,
                                                       settings.closeIconId);
        AddChild(closeButton);
    }
}

void HeaderBar::Paint(Gdiplus::Graphics& graphics)
{
    const Gdiplus::StringFormat format;
    DrawTextBlock(graphics, GetFont(), title, format, Gdiplus::Color(fontColour),
                  Gdiplus::RectF(settings.titleLeft, settings.titleTop, GetWidth() - settings.titleLeft,
                                 GetHeight() - settings.titleTop));
    if (logo)
        logo->Draw(graphics, settings.logoLeft, settings.logoTop, 0, 0, settings.logoWidth, settings.logoHeight, 255);
}

void HeaderBar::SetTitle(std::wstring newTitle)
{
    title = std::move(newTitle);
    Invalidate();
}

}  // namespace F3
