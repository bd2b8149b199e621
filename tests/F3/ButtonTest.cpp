#include <windows.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/ShadowButton.h"
#include "F3/ShadowImageButton.h"
#include "Resources/ResourceIds.h"
#include "support/AnimationTestEngine.h"
#include "support/ControlTestSupport.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

// The error page's button record.
const ButtonSize kSize{120, 40, 40, 25};
const ShadowInsets kInsets{4, 10, 4, 10};

// Distinct colours for every state, so that each state shows in the face colour.
constexpr Gdiplus::ARGB kColour = 0xFFC80000;
constexpr Gdiplus::ARGB kHover = 0xFF00C800;
constexpr Gdiplus::ARGB kActive = 0xFF0000C8;
constexpr Gdiplus::ARGB kSelectedColour = 0xFF646400;

int Channel(Gdiplus::ARGB colour, int shift) { return static_cast<int>((colour >> shift) & 0xFF); }

::testing::AssertionResult Near(Gdiplus::ARGB actual, Gdiplus::ARGB expected, int tolerance)
{
    for (const int shift : {24, 16, 8, 0}) {
        if (std::abs(Channel(actual, shift) - Channel(expected, shift)) > tolerance)
            return ::testing::AssertionFailure() << std::hex << actual << " is not within " << std::dec << tolerance
                                                 << " of " << std::hex << expected;
    }
    return ::testing::AssertionSuccess();
}

Gdiplus::ARGB Midway(Gdiplus::ARGB from, Gdiplus::ARGB to)
{
    Gdiplus::ARGB result = 0;
    for (const int shift : {24, 16, 8, 0})
        result |= static_cast<Gdiplus::ARGB>((Channel(from, shift) + Channel(to, shift)) / 2) << shift;
    return result;
}

bool IsInvalid(const Component& component)
{
    RECT update{};
    return GetUpdateRect(component.GetHandle(), &update, FALSE) != FALSE;
}

class ButtonTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
        fonts = std::make_unique<FontManager>(FontManager::InstallerFonts());
        theme = std::make_shared<test::FakeTheme>();
        theme->values = {{"font", fonts->GetFont(11, false, false, false, L"Inter")},
                         {"colour", Gdiplus::Color(kColour)},
                         {"colour-hover", Gdiplus::Color(kHover)},
                         {"colour-active", Gdiplus::Color(kActive)},
                         {"colour-selected", Gdiplus::Color(kSelectedColour)},
                         {"colour-font", Gdiplus::Color(0xFFFFFFFF)},
                         {"colour-shadow", Gdiplus::Color(0x33000000)},
                         {"colour-shadow-hover", Gdiplus::Color(0x66000000)}};
        localisation = std::make_shared<test::FakeLocalisation>();
        localisation->texts = {{L"short", L"Go"}, {L"long", L"A label far too long for the smallest button"}};
    }
    void TearDown() override
    {
        root.reset();
        embedded.reset();
        test::PumpMessages();
        DpiScale::SetForTesting(96, 96);
    }

    // The window the buttons sit in; the theme is set first, as the form does.
    void MakeRoot(std::shared_ptr<IThemeManager> themeManager)
    {
        root = std::make_shared<test::CommandWindow>(400, 200);
        root->SetInstance(GetModuleHandleW(nullptr));
        root->SetBackgroundColour(Gdiplus::Color(255, 255, 255, 255));
        root->SetThemeManager(std::move(themeManager));
        root->SetAnimationManager(engine.animation);
        root->SetLocalisationManager(localisation);
    }

    // A new window over the program's own theme, made at the current DPI.
    void UseEmbeddedTheme()
    {
        root.reset();
        embedded = std::make_unique<test::EmbeddedTheme>();
        MakeRoot(embedded->manager);
    }

    std::shared_ptr<ShadowButton> MakeButton(const std::wstring& labelKey, float right = 300, float top = 139,
                                             bool accessible = true)
    {
        return std::make_shared<ShadowButton>([this] { Clicked(); }, labelKey, right, top,
                                              std::vector<std::string>{"blue"}, kSize, kInsets, accessible);
    }

    // A button in a created window.
    template <typename Button>
    std::shared_ptr<Button> Place(std::shared_ptr<Button> button)
    {
        if (!root)
            MakeRoot(theme);
        root->AddChild(button);
        if (root->GetHandle())
            button->Create();
        else
            root->Create();
        EXPECT_NE(button->GetHandle(), nullptr);
        return button;
    }

    void Clicked()
    {
        ++clicks;
        clickThread = GetCurrentThreadId();
    }

    static void Press(const Component& button, UINT message, int x = 10, int y = 10)
    {
        SendMessageW(button.GetHandle(), message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(x, y));
    }

    test::AnimationTestEngine engine;
    std::unique_ptr<FontManager> fonts;
    std::shared_ptr<test::FakeTheme> theme;
    std::shared_ptr<test::FakeLocalisation> localisation;
    std::unique_ptr<test::EmbeddedTheme> embedded;
    std::shared_ptr<test::CommandWindow> root;
    int clicks = 0;
    DWORD clickThread = 0;
};

TEST_F(ButtonTest, AWiderLabelWidensTheButtonToTheLeftKeepingItsRightEdge)
{
    auto button = Place(MakeButton(L"short"));
    // The face's right edge is 300; the button's own area reaches the shadow's room beyond it.
    const float right = 300 - kInsets.third;
    const float minWidth = kSize.minWidth + 2 * kInsets.third;
    EXPECT_EQ(button->GetWidth(), minWidth);
    EXPECT_EQ(button->GetHeight(), kSize.height + kInsets.fourth);
    EXPECT_EQ(button->GetX() + button->GetWidth(), right);
    EXPECT_EQ(button->GetY(), 139 - kInsets.fourth);
    const float shortText = button->GetTextWidth();
    EXPECT_GT(shortText, 0);

    localisation->texts[L"short"] = localisation->texts[L"long"];
    button->RefreshLocalisation();
    EXPECT_GT(button->GetTextWidth(), shortText);
    EXPECT_GT(button->GetWidth(), minWidth);
    EXPECT_EQ(button->GetWidth(), button->GetTextWidth() + 5 + 2 * kSize.padding);
    EXPECT_EQ(button->GetX() + button->GetWidth(), right) << "grown to the left";
    RECT window{};
    GetWindowRect(button->GetHandle(), &window);
    MapWindowPoints(HWND_DESKTOP, root->GetHandle(), reinterpret_cast<POINT*>(&window), 2);
    EXPECT_EQ(window.right, static_cast<LONG>(right));
    EXPECT_EQ(window.left, static_cast<LONG>(button->GetX()));

    // A position is the right edge.
    button->SetPosition(250, 20);
    EXPECT_EQ(button->GetX() + button->GetWidth(), 250);
    EXPECT_EQ(button->GetY(), 20);
    EXPECT_EQ(button->GetAnchorRight(), 250);
}

TEST_F(ButtonTest, OnlyAPressAndReleaseOnTheButtonClick)
{
    enum Step { Down, Up, Leave, RightDown, RightUp };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int clicks;
    };
    const Case cases[] = {
        {"press and release", {Down, Up}, 1},
        {"press, move off, release", {Down, Leave, Up}, 0},
        {"release without a press", {Up}, 0},
        {"right button", {RightDown, RightUp}, 0},
        {"two clicks", {Down, Up, Down, Up}, 2},
    };
    for (const Case& c : cases) {
        clicks = 0;
        auto button = Place(MakeButton(L"short"));
        for (const Step step : c.steps) {
            switch (step) {
            case Down: Press(*button, WM_LBUTTONDOWN); break;
            case Up: Press(*button, WM_LBUTTONUP); break;
            case Leave: SendMessageW(button->GetHandle(), WM_MOUSELEAVE, 0, 0); break;
            case RightDown: Press(*button, WM_RBUTTONDOWN); break;
            case RightUp: Press(*button, WM_RBUTTONUP); break;
            }
        }
        EXPECT_EQ(clicks, c.clicks) << c.name;
        EXPECT_FALSE(button->IsPressed()) << c.name;
    }
}

TEST_F(ButtonTest, FaceColoursFollowTheStateOnTheClock)
{
    struct Case {
        const char* name;
        std::function<void(ShadowButton&)> act;
        double duration;
        Gdiplus::ARGB target;
    };
    const Case cases[] = {
        {"hover", [](ShadowButton& b) { b.OnMouseEnter(); }, 0.2, kHover},
        {"press", [](ShadowButton& b) { Press(b, WM_LBUTTONDOWN); }, 0.15, kSelectedColour},
        {"select", [](ShadowButton& b) { b.SetSelected(true); }, 0.15, kActive},
    };
    for (const Case& c : cases) {
        const double start = engine.now + 10;
        engine.UpdateAt(start);
        auto button = Place(MakeButton(L"short"));
        EXPECT_EQ(button->GetColour(), kColour) << c.name << ": the theme's colour from the start";
        c.act(*button);
        engine.UpdateAt(start + c.duration / 2);
        EXPECT_TRUE(Near(button->GetColour(), Midway(kColour, c.target), 2)) << c.name;
        engine.UpdateAt(start + c.duration * 0.9);
        EXPECT_NE(button->GetColour(), c.target) << c.name;
        ValidateRect(button->GetHandle(), nullptr);
        engine.UpdateAt(start + c.duration);
        EXPECT_EQ(button->GetColour(), c.target) << c.name;
        root->OnAnimationTick();
        EXPECT_TRUE(IsInvalid(*button)) << c.name << ": a changed colour repaints the button";
        // Something else still moving ticks the tree; the button's colour stands still.
        Animated<float> other(0.0f);
        engine.Storyboard()->Linear(other, Animated<float>(100.0f), 10).Schedule(0);
        ValidateRect(button->GetHandle(), nullptr);
        ASSERT_TRUE(engine.UpdateAt(start + c.duration + 1)) << c.name;
        root->OnAnimationTick();
        EXPECT_FALSE(IsInvalid(*button)) << c.name << ": its colour did not move";
        engine.UpdateAt(start + c.duration + 20);
    }

    // Leaving goes back at once.
    auto button = Place(MakeButton(L"short"));
    button->OnMouseEnter();
    engine.UpdateAt(engine.now + 1);
    ASSERT_EQ(button->GetColour(), kHover);
    SendMessageW(button->GetHandle(), WM_MOUSELEAVE, 0, 0);
    engine.UpdateAt(engine.now);
    EXPECT_EQ(button->GetColour(), kColour);
}

TEST_F(ButtonTest, ASelectedButtonIgnoresHoverAndPress)
{
    auto button = Place(MakeButton(L"short"));
    EXPECT_TRUE(button->IsFocusable());
    button->SetSelected(true);
    EXPECT_TRUE(button->IsFocusable());
    engine.UpdateAt(1);
    ASSERT_EQ(button->GetColour(), kActive);

    button->OnMouseEnter();
    Press(*button, WM_LBUTTONDOWN);
    EXPECT_FALSE(button->IsPressed());
    Press(*button, WM_LBUTTONUP);
    engine.UpdateAt(2);
    EXPECT_EQ(button->GetColour(), kActive);
    EXPECT_EQ(clicks, 0);

    button->SetSelected(false);
    engine.UpdateAt(2);
    EXPECT_EQ(button->GetColour(), kColour);
    EXPECT_FALSE(button->IsFocusable()) << "focusable exactly while selected";

    // Before its window exists a button takes the colour at once.
    auto unplaced = MakeButton(L"short");
    unplaced->SetThemeManager(theme);
    unplaced->SetSelected(true);
    EXPECT_EQ(unplaced->GetColour(), kActive);
}

TEST_F(ButtonTest, InvokeClicksOnceOnTheWindowThreadWhenVisible)
{
    struct Case {
        const char* name;
        std::function<void(ShadowButton&)> hide;
        int clicks;
    };
    const Case cases[] = {
        {"visible", [](ShadowButton&) {}, 1},
        {"hidden", [](ShadowButton& b) { b.SetVisible(false); }, 0},
        {"in a hidden window", [](ShadowButton& b) { b.GetParent()->SetVisible(false); }, 0},
    };
    for (const Case& c : cases) {
        root.reset();
        clicks = 0;
        clickThread = 0;
        auto button = Place(MakeButton(L"short"));
        c.hide(*button);
        test::PumpMessages();
        auto* extension = static_cast<Accessibility::IButtonAccessibilityExtension*>(button.get());
        std::thread([extension] { extension->Invoke(); }).join();
        EXPECT_EQ(clicks, 0) << c.name << ": posted, not run on the calling thread";
        test::PumpMessages();
        EXPECT_EQ(clicks, c.clicks) << c.name;
        if (c.clicks) {
            EXPECT_EQ(clickThread, GetCurrentThreadId()) << c.name;
        }

        // Enter reaches the same.
        button->DefaultAction();
        test::PumpMessages();
        EXPECT_EQ(clicks, 2 * c.clicks) << c.name;
    }
}

TEST_F(ButtonTest, TheAccessibilityProviderIsMadeOnlyWhenAsked)
{
    for (const bool accessible : {true, false}) {
        auto button = Place(MakeButton(L"short", 300, 139, accessible));
        EXPECT_EQ(button->GetProvider() != nullptr, accessible);
        EXPECT_EQ(button->GetName(), L"Go");
    }
}

TEST_F(ButtonTest, AnImageButtonIsSixteenWiderAtLeast)
{
    auto plain = Place(MakeButton(L"short"));
    auto image = Place(std::make_shared<ShadowImageButton>([] {}, L"short", 300, 139, std::vector<std::string>{"blue"},
                                                           kSize, kInsets, nullptr));
    EXPECT_EQ(image->GetMinWidth(), plain->GetMinWidth() + 16);
    EXPECT_EQ(image->GetWidth(), plain->GetWidth() + 16);
    EXPECT_EQ(image->GetHeight(), plain->GetHeight());
    EXPECT_EQ(image->GetX() + image->GetWidth(), plain->GetX() + plain->GetWidth());
    EXPECT_THAT(image->GetTypeNames(), testing::ElementsAre("component", "button-base", "shadow-button", "blue"));
}

TEST_F(ButtonTest, ALaterThemeChangeMovesTheColoursOnInsteadOfThrowing)
{
    auto button = Place(MakeButton(L"short"));
    button->OnMouseEnter();
    engine.UpdateAt(1);
    ASSERT_EQ(button->GetColour(), kHover);

    constexpr Gdiplus::ARGB kNewColour = 0xFF102030;
    constexpr Gdiplus::ARGB kNewHover = 0xFF405060;
    theme->values["colour"] = Gdiplus::Color(kNewColour);
    theme->values["colour-hover"] = Gdiplus::Color(kNewHover);
    EXPECT_NO_THROW(theme->themeChanged());
    engine.UpdateAt(1);
    EXPECT_EQ(button->GetColour(), kNewColour);

    SendMessageW(button->GetHandle(), WM_MOUSELEAVE, 0, 0);
    button->OnMouseEnter();
    engine.UpdateAt(2);
    EXPECT_EQ(button->GetColour(), kNewHover) << "the hover heads for the new colour";
    SendMessageW(button->GetHandle(), WM_MOUSELEAVE, 0, 0);
    engine.UpdateAt(2);
    EXPECT_EQ(button->GetColour(), kNewColour);
}

TEST_F(ButtonTest, TheEmbeddedThemeGivesTheShadowButtonsTheirColours)
{
    struct Case {
        const char* style;
        Gdiplus::ARGB colour;
        Gdiplus::ARGB hover;
    };
    UseEmbeddedTheme();
    for (const Case& c : {Case{"blue", 0xFF1E50D8, 0xFF173EA6}, Case{"red", 0xFFE55454, 0xFFC93B3B}}) {
        const double start = engine.now + 10;
        engine.UpdateAt(start);
        auto button = Place(std::make_shared<ShadowButton>([] {}, L"short", 300, 139, std::vector<std::string>{c.style},
                                                           kSize, kInsets));
        EXPECT_EQ(button->GetColour(), c.colour) << c.style;
        EXPECT_EQ(button->GetShadowColour(), 0x33000000u) << c.style;
        EXPECT_EQ(button->GetShadowHoverColour(), 0x66000000u) << c.style;
        EXPECT_EQ(button->GetFontColour(), 0xFFFFFFFFu) << c.style;
        button->OnMouseEnter();
        engine.UpdateAt(start + 0.2);
        EXPECT_EQ(button->GetColour(), c.hover) << c.style;
        SendMessageW(button->GetHandle(), WM_MOUSELEAVE, 0, 0);
        Press(*button, WM_LBUTTONDOWN);
        engine.UpdateAt(start + 1);
        EXPECT_EQ(button->GetColour(), c.colour) << c.style << ": pressed shows the plain colour";
    }
}

TEST_F(ButtonTest, FaceShadowAndLabelInPixels)
{
    for (const int dpi : {96, 144}) {
        DpiScale::SetForTesting(dpi, dpi);
        const float scale = dpi / 96.0f;
        localisation->texts[L"label"] = L"Try Again";
        UseEmbeddedTheme();
        auto button = Place(MakeButton(L"label"));
        const auto pixel = [&](float x, float y) {
            return root->PixelAt(static_cast<int>(x * scale), static_cast<int>(y * scale)).GetValue();
        };
        root->PaintAll();
        // The face spans 172 to 292 and 129 to 169 (DIP), its label centred on it.
        EXPECT_EQ(pixel(180, 149), 0xFF1E50D8u) << dpi;
        EXPECT_EQ(pixel(284, 149), 0xFF1E50D8u) << dpi;
        EXPECT_EQ(pixel(232, 131), 0xFF1E50D8u) << dpi;
        EXPECT_NE(pixel(173, 130), 0xFF1E50D8u) << dpi << ": a rounded corner";
        EXPECT_EQ(pixel(160, 149), 0xFFFFFFFFu) << dpi << ": left of the button";
        EXPECT_EQ(pixel(232, 185), 0xFFFFFFFFu) << dpi << ": below the button";
        int labelPixels = 0;
        for (float x = 192; x < 272; x += 1 / scale) {
            const Gdiplus::ARGB value = pixel(x, 149);
            if (Channel(value, 16) > 128)
                ++labelPixels;
        }
        EXPECT_GT(labelPixels, 3) << dpi << ": the white label across the middle of the face";

        // Under the face: a grey shadow over the white, darker while the mouse is over the button.
        const Gdiplus::ARGB shadow = pixel(232, 172);
        EXPECT_LT(Channel(shadow, 16), 250) << dpi;
        EXPECT_GE(Channel(shadow, 16), 204) << dpi << ": at most alpha 51 of black";
        EXPECT_NEAR(Channel(shadow, 16), Channel(shadow, 0), 2) << dpi;
        button->OnMouseEnter();
        root->PaintAll();
        const Gdiplus::ARGB hoverShadow = pixel(232, 172);
        EXPECT_LT(Channel(hoverShadow, 16), Channel(shadow, 16)) << dpi;
        EXPECT_GE(Channel(hoverShadow, 16), 153) << dpi << ": at most alpha 102 of black";
    }
}

TEST_F(ButtonTest, AnImageButtonDrawsItsImageBeforeTheLabel)
{
    std::shared_ptr<PngImage> download = PngImage::Load(IDR_IMAGE_DOWNLOAD);
    ASSERT_TRUE(download);
    localisation->texts[L"download"] = L"Download";
    for (const bool withImage : {true, false}) {
        UseEmbeddedTheme();
        auto button = Place(std::make_shared<ShadowImageButton>([] {}, L"download", 300, 139,
                                                                std::vector<std::string>{"blue"}, kSize, kInsets,
                                                                withImage ? download : nullptr));
        root->PaintAll();
        // The white glyph on the blue face, at (padding, 11) in the button.
        const int left = static_cast<int>(button->GetX() + kSize.padding);
        const int top = static_cast<int>(button->GetY() + 11);
        int lit = 0;
        for (int y = top; y < top + 16; ++y) {
            for (int x = left; x < left + 16; ++x)
                lit += root->PixelAt(x, y).GetRed() > 150 ? 1 : 0;
        }
        if (withImage) {
            EXPECT_GT(lit, 10);
        } else {
            EXPECT_EQ(lit, 0) << "the label starts after the image's place";
        }
    }
}

}  // namespace
}  // namespace F3
