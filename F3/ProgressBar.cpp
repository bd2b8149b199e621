#include "F3/ProgressBar.h"

#include <algorithm>
#include <stdexcept>
#include <variant>

#include "F3/Shapes.h"

namespace F3 {
namespace {

constexpr int kAutomationPropertyChangedEventId = 20004;

// The corners' diameter; a bar at exactly 1 is too short for the usual one.
float CornerDiameter(float shownValue) { return shownValue == 1.0f ? 10.0f : 12.0f; }

}  // namespace

ProgressBar::ProgressBar(float left, float top, float width, float height)
    : AccessibleComponent(left, top, width, height)
{
    AddTypeNames({"progress-bar"});
    SetFocusable(true);
}

void ProgressBar::SetValue(float target)
{
    if (target == animatedValue.Get())
        return;
    const auto& manager = GetAnimationManager();
    if (!manager)
        throw std::runtime_error("No animation manager");
    // The previous storyboard is let go, not abandoned: the manager hands the value over.
    storyboard = manager->CreateStoryboard();
    storyboard->Linear(animatedValue, Animated<float>(target), fillTime);
    storyboard->Schedule(0);
}

double ProgressBar::GetValue() const { return value; }

void ProgressBar::ApplyTheme()
{
    AccessibleComponent::ApplyTheme();
    gradientLight = std::get<Gdiplus::Color>(GetThemeValue("colour-gradient-light"));
    gradientDark = std::get<Gdiplus::Color>(GetThemeValue("colour-gradient-dark"));
    emptyColour = std::get<Gdiplus::Color>(GetThemeValue("colour-empty"));
    fillTime = static_cast<int>(std::get<double>(GetThemeValue("progress-fill-time")));
}

void ProgressBar::OnCreate()
{
    AccessibleComponent::OnCreate();
    resizeConnection = resized.connect([this] {
        Layout(animatedValue.Get());
        Invalidate();
    });
}

void ProgressBar::OnAnimationTick()
{
    if (animatedValue.HasChanged()) {
        Layout(animatedValue.Get());
        Invalidate();
    }
    AccessibleComponent::OnAnimationTick();
}

void ProgressBar::PaintBackground(Gdiplus::Graphics& graphics)
{
    AccessibleComponent::PaintBackground(graphics);
    const Gdiplus::RectF& area = GetClientRect();
    FillRoundedRectangle(graphics, area.X, area.Y, area.X + area.Width, area.Y + area.Height,
                         CornerDiameter(animatedValue.Get()), emptyColour);
}

void ProgressBar::Paint(Gdiplus::Graphics& graphics)
{
    FillRoundedRectangleGradient(graphics, fillRect.X, fillRect.Y, fillRect.X + fillRect.Width,
                                 fillRect.Y + fillRect.Height, CornerDiameter(value), gradientStart, gradientEnd,
                                 gradientLight, gradientDark);
}

void ProgressBar::Layout(float laidOut)
{
    value = laidOut;
    const Gdiplus::RectF& area = GetClientRect();
    const float left = area.X;
    const float top = area.Y;
    const float right = area.X + area.Width;
    const float bottom = area.Y + area.Height;
    // Below 0 nothing is filled, rather than a fill that runs backwards out of the track.
    const float extent = left + (right - left) * std::clamp(laidOut, 0.0f, 100.0f) / 100.0f;
    fillRect = Gdiplus::RectF(left, top, extent - left, bottom - top);
    const float middle = bottom - (bottom - top) * 0.5f;
    gradientStart = Gdiplus::PointF(left, middle);
    gradientEnd = Gdiplus::PointF(extent, middle);
    RaiseAutomationEvent(kAutomationPropertyChangedEventId);
}

}  // namespace F3
