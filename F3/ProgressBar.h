#pragma once

#include <memory>

#include <boost/signals2/connection.hpp>

#include "F3/AccessibleComponent.h"
#include "F3/Animated.h"
#include "F3/IStoryboard.h"
#include "F3/ProgressBarAccessibilityProvider.h"

namespace F3 {

// A horizontal bar from 0 to 100: a rounded track with a rounded gradient fill that glides to
// each new value over the theme's fill time.
class ProgressBar : public AccessibleComponent<Accessibility::ProgressBarAccessibilityProvider,
                                               Accessibility::IProgressBarAccessibilityExtension> {
public:
    ProgressBar(float left, float top, float width, float height);

    // Starts the fill towards target; values above 100 fill the whole track.
    void SetValue(float target);
    // The value laid out now, as UI Automation reports it.
    double GetValue() const override;

    void ApplyTheme() override;
    void OnCreate() override;
    void OnAnimationTick() override;
    void PaintBackground(Gdiplus::Graphics& graphics) override;
    void Paint(Gdiplus::Graphics& graphics) override;

    // The filled part of the track and the gradient line, in DIP in the bar's own coordinates.
    const Gdiplus::RectF& GetFillRect() const { return fillRect; }
    const Gdiplus::PointF& GetGradientStart() const { return gradientStart; }
    const Gdiplus::PointF& GetGradientEnd() const { return gradientEnd; }

private:
    void Layout(float laidOut);

    Gdiplus::Color gradientLight{0xFF000000};
    Gdiplus::Color gradientDark{0xFF000000};
    Gdiplus::Color emptyColour{0xFF000000};
    int fillTime = 0;
    float value = 0;
    Animated<float> animatedValue{0.0f};
    std::unique_ptr<IStoryboard> storyboard;
    Gdiplus::RectF fillRect;
    Gdiplus::PointF gradientStart;
    Gdiplus::PointF gradientEnd;
    boost::signals2::scoped_connection resizeConnection;
};

}  // namespace F3
