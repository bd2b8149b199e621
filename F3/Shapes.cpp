#include "F3/Shapes.h"

#include "F3/DpiScale.h"

namespace F3 {

std::unique_ptr<Gdiplus::GraphicsPath> RoundedRectanglePath(float left, float top, float right, float bottom,
                                                            float cornerDiameter)
{
    const float x = DpiScale::DipToPixelsX(left);
    const float y = DpiScale::DipToPixelsY(top);
    const float width = DpiScale::DipToPixelsX(right - left) - 1;
    const float height = DpiScale::DipToPixelsY(bottom - top) - 1;
    auto path = std::make_unique<Gdiplus::GraphicsPath>();
    if (cornerDiameter == 0) {
        path->AddRectangle(Gdiplus::RectF(x, y, width, height));
        return path;
    }
    const float dx = DpiScale::DipToPixelsX(cornerDiameter);
    const float dy = DpiScale::DipToPixelsY(cornerDiameter);
    path->AddArc(x + width - dx, y, dx, dy, 270, 90);
    path->AddArc(x + width - dx, y + height - dy, dx, dy, 0, 90);
    path->AddArc(x, y + height - dy, dx, dy, 90, 90);
    path->AddArc(x, y, dx, dy, 180, 90);
    path->CloseFigure();
    return path;
}

void FillRoundedRectangle(Gdiplus::Graphics& graphics, float left, float top, float right, float bottom,
                          float cornerDiameter, const Gdiplus::Color& colour)
{
    const auto path = RoundedRectanglePath(left, top, right, bottom, cornerDiameter);
    path->SetFillMode(Gdiplus::FillModeWinding);
    const Gdiplus::SolidBrush brush(colour);
    graphics.FillPath(&brush, path.get());
}

void FillRoundedRectangleGradient(Gdiplus::Graphics& graphics, float left, float top, float right, float bottom,
                                  float cornerDiameter, const Gdiplus::PointF& start, const Gdiplus::PointF& end,
                                  const Gdiplus::Color& from, const Gdiplus::Color& to)
{
    const auto path = RoundedRectanglePath(left, top, right, bottom, cornerDiameter);
    path->SetFillMode(Gdiplus::FillModeAlternate);
    const Gdiplus::PointF startPixels(DpiScale::DipToPixelsX(start.X), DpiScale::DipToPixelsY(start.Y));
    const Gdiplus::PointF endPixels(DpiScale::DipToPixelsX(end.X), DpiScale::DipToPixelsY(end.Y));
    Gdiplus::LinearGradientBrush brush(startPixels, endPixels, from, to);
    // Two equal points make no brush; there is nothing to fill then.
    if (brush.GetLastStatus() != Gdiplus::Ok)
        return;
    brush.SetWrapMode(Gdiplus::WrapModeTile);
    graphics.FillPath(&brush, path.get());
}

void FillShadow(Gdiplus::Graphics& graphics, float left, float top, float right, float bottom, float cornerDiameter,
                const Gdiplus::Color& colour)
{
    const auto path = RoundedRectanglePath(left, top, right, bottom, cornerDiameter);
    Gdiplus::PathGradientBrush brush(path.get());
    if (brush.GetLastStatus() != Gdiplus::Ok)
        return;
    const float x = DpiScale::DipToPixelsX(left);
    const float y = DpiScale::DipToPixelsY(top);
    brush.SetCenterPoint(Gdiplus::PointF(x + DpiScale::DipToPixelsX(right - left) * 0.5f,
                                         y + DpiScale::DipToPixelsY(bottom - top) * 0.5f));
    brush.SetCenterColor(colour);
    brush.SetGammaCorrection(TRUE);
    const Gdiplus::Color edge(0, colour.GetRed(), colour.GetGreen(), colour.GetBlue());
    INT count = 1;
    brush.SetSurroundColors(&edge, &count);
    brush.SetFocusScales(0.4f, 0.4f);
    graphics.FillPath(&brush, path.get());
}

}  // namespace F3
