#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "F3/AccessibleComponent.h"
#include "F3/Animated.h"
#include "F3/ButtonAccessibilityProvider.h"
#include "F3/IStoryboard.h"

namespace F3 {

// The size of a button in DIP: its width never falls below minWidth; padding is kept on both
// sides of the label.
struct ButtonSize {
    float minWidth = 0;
    float height = 0;
    float cornerDiameter = 0;
    float padding = 0;
};

// A push button with a localised label, a face colour that follows its state with animated
// changes, and a click handler. Its position is its right edge: a wider label widens it to the
// left.
class ButtonBase : public AccessibleComponent<Accessibility::ButtonAccessibilityProvider,
                                              Accessibility::IButtonAccessibilityExtension> {
public:
    // styleNames follow "button-base" in the theme path. Without accessible the button shows no
    // automation provider.
    ButtonBase(std::function<void()> onClick, std::wstring labelKey, float right, float top,
               std::vector<std::string> styleNames, ButtonSize size, bool accessible = true);

    void ApplyTheme() override;
    void ApplyLocalisation() override;
    void OnCreate() override;
    void OnMouseEnter() override;
    void OnMouseLeave() override;
    void OnMouseDown(const MouseEventArgs& args) override;
    void OnMouseUp(const MouseEventArgs& args) override;
    // The position given is the right edge and the top.
    void SetPosition(float x, float y) override;
    void OnAnimationTick() override;
    void PaintBackground(Gdiplus::Graphics& graphics) override;
    std::wstring GetName() const override;
    void DefaultAction() override;

    using Component::Invoke;
    // Clicks on the window thread (posted, not waiting) when the button is visible; safe from any
    // thread.
    void Invoke() override;

    virtual void SetSelected(bool selected);
    // The face colour as drawn now.
    virtual Gdiplus::ARGB GetColour() const;
    virtual void Layout();
    virtual void MeasureText();

    bool IsPressed() const { return pressed; }
    bool IsSelected() const { return selected; }
    bool IsMouseOver() const { return mouseOver; }
    const std::wstring& GetLabel() const { return label; }
    float GetMinWidth() const { return minWidth; }
    float GetButtonHeight() const { return buttonHeight; }
    float GetCornerDiameter() const { return cornerDiameter; }
    float GetPadding() const { return padding; }
    float GetAnchorRight() const { return anchorRight; }
    float GetTextWidth() const { return textWidth; }
    Gdiplus::ARGB GetFontColour() const { return fontColour; }

protected:
    // For subclasses that add to the button's area before it is first laid out.
    void Grow(float extraMinWidth, float extraHeight);

private:
    void BuildStoryboards();
    void Play(const std::unique_ptr<IStoryboard>& storyboard);
    // Sets the face colour at once, also after it has been animated.
    void JumpToColour(Gdiplus::ARGB target);

    bool pressed = false;
    bool selected = false;
    bool mouseOver = false;
    bool accessible;
    std::wstring labelKey;
    std::wstring label;
    std::function<void()> onClick;
    float minWidth;
    float buttonHeight;
    float cornerDiameter;
    float padding;
    Gdiplus::ARGB colour = 0xFF000000;
    Gdiplus::ARGB hoverColour = 0xFF000000;
    Gdiplus::ARGB activeColour = 0xFF000000;
    Gdiplus::ARGB selectedColour = 0xFF000000;
    Gdiplus::ARGB fontColour = 0xFF000000;
    std::unique_ptr<IStoryboard> hoverStoryboard;
    std::unique_ptr<IStoryboard> normalStoryboard;
    std::unique_ptr<IStoryboard> selectStoryboard;
    std::unique_ptr<IStoryboard> pressStoryboard;
    Animated<Gdiplus::Color> currentColour;
    float anchorRight;
    float textWidth = 0;
};

}  // namespace F3
