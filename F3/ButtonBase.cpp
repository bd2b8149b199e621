#include "F3/ButtonBase.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "F3/DpiScale.h"
#include "F3/Shapes.h"
#include "F3/TextDrawing.h"

namespace F3 {
namespace {

// Room beside the measured label, which GDI+ measures a little tight.
constexpr float kLabelSlack = 5;

Gdiplus::ARGB ColourValue(const ThemeValue& value) { return std::get<Gdiplus::Color>(value).GetValue(); }

}  // namespace

ButtonBase::ButtonBase(std::function<void()> onClick, std::wstring labelKey, float right, float top,
                       std::vector<std::string> styleNames, ButtonSize size, bool accessible)
    : AccessibleComponent(right, top, 0, 0), accessible(accessible), labelKey(std::move(labelKey)),
      onClick(std::move(onClick)), minWidth(size.minWidth), buttonHeight(size.height),
      cornerDiameter(size.cornerDiameter), padding(size.padding), anchorRight(GetX())
{
    AddTypeNames({"button-base"});
    AddTypeNames(styleNames);
    SetFocusable(true);
    SetCursor(IDC_HAND);
}

void ButtonBase::ApplyTheme()
{
    AccessibleComponent::ApplyTheme();
    colour = ColourValue(GetThemeValue("colour"));
    hoverColour = ColourValue(GetThemeValue("colour-hover"));
    activeColour = ColourValue(GetThemeValue("colour-active"));
    selectedColour = ColourValue(GetThemeValue("colour-selected"));
    fontColour = ColourValue(GetThemeValue("colour-font"));
    // Storyboards built for the old colours would bring them back.
    if (hoverStoryboard)
        BuildStoryboards();
    JumpToColour(selected ? activeColour : colour);
    Layout();
}

void ButtonBase::ApplyLocalisation()
{
    if (const auto& localisation = GetLocalisationManager())
        label = localisation->Get(labelKey);
    Layout();
}

void ButtonBase::OnCreate()
{
    if (accessible)
        AccessibleComponent::OnCreate();
    else
        Component::OnCreate();
    BuildStoryboards();
    Layout();
}

void ButtonBase::BuildStoryboards()
{
    const auto& manager = GetAnimationManager();
    if (!manager)
        return;
    hoverStoryboard = manager->CreateStoryboard();
    hoverStoryboard->Linear(currentColour, Animated<Gdiplus::Color>(Gdiplus::Color(hoverColour)), 0.2);
    normalStoryboard = manager->CreateStoryboard();
    normalStoryboard->Instant(currentColour, Animated<Gdiplus::Color>(Gdiplus::Color(colour)));
    pressStoryboard = manager->CreateStoryboard();
    pressStoryboard->Linear(currentColour, Animated<Gdiplus::Color>(Gdiplus::Color(selectedColour)), 0.15);
    selectStoryboard = manager->CreateStoryboard();
    selectStoryboard->Linear(currentColour, Animated<Gdiplus::Color>(Gdiplus::Color(activeColour)), 0.15);
}

void ButtonBase::Play(const std::unique_ptr<IStoryboard>& storyboard)
{
    if (storyboard)
        storyboard->Schedule(0);
}

void ButtonBase::JumpToColour(Gdiplus::ARGB target)
{
    if (!currentColour.Variable()) {
        currentColour = Gdiplus::Color(target);
        return;
    }
    // Once animated the value belongs to the animation manager.
    if (const auto& manager = GetAnimationManager()) {
        manager->CreateStoryboard()
            ->Instant(currentColour, Animated<Gdiplus::Color>(Gdiplus::Color(target)))
            .Schedule(0);
    }
}

void ButtonBase::OnMouseEnter()
{
    mouseOver = true;
    if (!selected)
        Play(hoverStoryboard);
}

void ButtonBase::OnMouseLeave()
{
    mouseOver = false;
    pressed = false;
    if (!selected)
        Play(normalStoryboard);
}

void ButtonBase::OnMouseDown(const MouseEventArgs& args)
{
    if (args.button != 1 || selected)
        return;
    pressed = true;
    Play(pressStoryboard);
}

void ButtonBase::OnMouseUp(const MouseEventArgs& args)
{
    if (args.button != 1 || selected || !pressed)
        return;
    pressed = false;
    const PixelRect area = DipEdgesToPixels(0, 0, GetWidth(), GetHeight());
    const bool over = args.x >= 0 && args.y >= 0 && args.x < area.width && args.y < area.height;
    Play(over ? hoverStoryboard : normalStoryboard);
    if (onClick)
        onClick();
}

void ButtonBase::SetSelected(bool value)
{
    if (value == selected)
        return;
    if (selectStoryboard)
        Play(value ? selectStoryboard : normalStoryboard);
    else
        JumpToColour(value ? activeColour : colour);
    selected = value;
    SetFocusable(value);
}

Gdiplus::ARGB ButtonBase::GetColour() const { return currentColour.Get().GetValue(); }

void ButtonBase::Layout()
{
    MeasureText();
    const float width = std::max(minWidth, textWidth + kLabelSlack + 2 * padding);
    SetSize(width, buttonHeight);
    Component::SetPosition(anchorRight - width, GetY());
}

void ButtonBase::MeasureText()
{
    const auto& font = GetFont();
    if (!font || label.empty())
        return;
    const HWND window = GetHandle();
    const HDC dc = GetDC(window);
    if (!dc)
        return;
    {
        Gdiplus::Graphics graphics(dc);
        textWidth = ::F3::MeasureText(graphics, font, label).Width;
    }
    ReleaseDC(window, dc);
}

void ButtonBase::SetPosition(float x, float y)
{
    anchorRight = x;
    Component::SetPosition(anchorRight - GetWidth(), y);
    Layout();
}

void ButtonBase::OnAnimationTick()
{
    if (currentColour.HasChanged())
        Invalidate();
    AccessibleComponent::OnAnimationTick();
}

void ButtonBase::PaintBackground(Gdiplus::Graphics& graphics)
{
    AccessibleComponent::PaintBackground(graphics);
    FillRoundedRectangle(graphics, 0, 0, GetWidth(), GetHeight(), cornerDiameter, Gdiplus::Color(GetColour()));
}

std::wstring ButtonBase::GetName() const { return label; }

void ButtonBase::DefaultAction() { Invoke(); }

void ButtonBase::Invoke()
{
    if (!IsVisible())
        return;
    auto self = std::static_pointer_cast<ButtonBase>(shared_from_this());
    Component::Invoke(
        [self] {
            if (self->onClick)
                self->onClick();
            self->Invalidate();
        },
        false);
}

void ButtonBase::Grow(float extraMinWidth, float extraHeight)
{
    minWidth += extraMinWidth;
    buttonHeight += extraHeight;
}

}  // namespace F3
