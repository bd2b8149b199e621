#include "F3/Painting.h"

#include <cfloat>

#include "F3/Component.h"
#include "F3/DpiScale.h"

namespace F3 {
namespace {

constexpr Gdiplus::ARGB kClearColour = 0x00FFFFFF;

Gdiplus::RectF ToPixels(const Gdiplus::RectF& dip)
{
    return Gdiplus::RectF(DpiScale::DipToPixelsX(dip.X), DpiScale::DipToPixelsY(dip.Y),
                          DpiScale::DipToPixelsX(dip.Width), DpiScale::DipToPixelsY(dip.Height));
}

}  // namespace

std::vector<std::shared_ptr<Gdiplus::Region>> PaintTree(Component& component, Gdiplus::Graphics& target,
                                                        const Gdiplus::RectF& clip)
{
    std::vector<std::shared_ptr<Gdiplus::Region>> excluded;
    const auto& graphics = component.GetBackBufferGraphics();
    if (!component.GetHandle() || !component.IsVisibleFlag() || !graphics)
        return excluded;

    Gdiplus::RectF paintRect(component.GetX(), component.GetY(), component.GetWidth(), component.GetHeight());
    if (component.GetParent()) {
        if (!paintRect.Intersect(clip) || paintRect.Width <= FLT_EPSILON || paintRect.Height <= FLT_EPSILON)
            return excluded;
    }
    paintRect.Offset(-component.GetX(), -component.GetY());

    graphics->Clear(Gdiplus::Color(kClearColour));
    component.PrePaint(*graphics);
    component.PaintBackground(*graphics);
    component.Paint(*graphics);
    if (auto region = component.GetExcludedRegion())
        excluded.push_back(std::move(region));

    // A copy: painting must not be disturbed by a child that reorders its siblings.
    const auto children = component.GetChildren();
    for (const auto& child : children) {
        const float dx = DpiScale::DipToPixelsX(child->GetX());
        const float dy = DpiScale::DipToPixelsY(child->GetY());
        graphics->TranslateTransform(dx, dy);
        auto childExcluded = PaintTree(*child, *graphics, paintRect);
        excluded.insert(excluded.end(), childExcluded.begin(), childExcluded.end());
        graphics->TranslateTransform(-dx, -dy);
    }

    const auto clipRegion = component.GetClipRegion();
    component.PrePaint(target);
    if (clipRegion)
        target.SetClip(clipRegion.get(), Gdiplus::CombineModeReplace);

    Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0},
                                    {0, 1, 0, 0, 0},
                                    {0, 0, 1, 0, 0},
                                    {0, 0, 0, component.GetAlpha() / 255.0f, 0},
                                    {0, 0, 0, 0, 1}}};
    Gdiplus::ImageAttributes attributes;
    attributes.SetColorMatrix(&matrix, Gdiplus::ColorMatrixFlagsDefault, Gdiplus::ColorAdjustTypeDefault);
    const Gdiplus::CompositingMode previousMode = target.GetCompositingMode();
    target.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
    const Gdiplus::RectF pixels = ToPixels(paintRect);
    target.DrawImage(component.GetBackBuffer().get(), pixels, pixels.X, pixels.Y, pixels.Width, pixels.Height,
                     Gdiplus::UnitPixel, &attributes);
    target.SetCompositingMode(previousMode);
    target.ResetClip();
    return excluded;
}

bool PumpAndPaint(Component& form)
{
    RECT dirty{};
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return false;
        TranslateMessage(&message);
        if (message.message == WM_PAINT) {
            RECT update{};
            if (GetUpdateRect(message.hwnd, &update, FALSE) && !IsRectEmpty(&update)) {
                MapWindowPoints(message.hwnd, nullptr, reinterpret_cast<POINT*>(&update), 2);
                UnionRect(&dirty, &dirty, &update);
            }
        }
        DispatchMessageW(&message);
        RethrowWindowException();
    }
    if (IsRectEmpty(&dirty))
        return true;

    const auto& own = form.GetBackBufferGraphics();
    if (!own)
        return true;
    const auto excluded = PaintTree(form, *own, form.GetClientRect());

    const HWND window = form.GetHandle();
    const HDC dc = GetDC(window);
    {
        Gdiplus::Graphics screen(dc);
        screen.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        screen.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        screen.SetCompositingQuality(Gdiplus::CompositingQualityGammaCorrected);
        screen.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
        const Gdiplus::RectF client = ToPixels(form.GetClientRect());
        Gdiplus::Region region(client);
        for (const auto& each : excluded)
            region.Exclude(each.get());
        screen.SetClip(&region);
        screen.DrawImage(form.GetBackBuffer().get(), client, client.X, client.Y, client.Width, client.Height,
                         Gdiplus::UnitPixel);
        screen.ResetClip();
    }
    ReleaseDC(window, dc);
    return true;
}

}  // namespace F3
