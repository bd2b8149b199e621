#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/HeaderBar.h"
#include "support/ControlTestSupport.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

// The stage-1 window's header: no title-bar buttons.
HeaderBarSettings StageOneSettings()
{
    return {24.0f, 12.0f, 8.0f, 6.0f, 0, 0, 4001, 24.0f, 24.0f, 24.0f, 20.0f, 60.0f, 19.0f};
}

class HeaderBarTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
    }
    void TearDown() override
    {
        form.reset();
        embedded.reset();
        test::PumpMessages();
        DpiScale::SetForTesting(96, 96);
    }

    // A 400 x 180 form with a 64-high header bar, over the program's own theme.
    std::shared_ptr<HeaderBar> MakeHeader(const HeaderBarSettings& settings)
    {
        embedded = std::make_unique<test::EmbeddedTheme>();
        form = std::make_shared<test::CommandWindow>(400, 180);
        form->SetInstance(GetModuleHandleW(nullptr));
        form->SetBackgroundColour(Gdiplus::Color(255, 255, 255, 255));
        form->SetThemeManager(embedded->manager);
        form->Create();
        auto header = std::make_shared<HeaderBar>(form->GetHandle(), 400.0f, 64.0f, settings);
        form->AddChild(header);
        header->Create();
        EXPECT_NE(header->GetHandle(), nullptr);
        return header;
    }

    std::unique_ptr<test::EmbeddedTheme> embedded;
    std::shared_ptr<test::CommandWindow> form;
};

TEST_F(HeaderBarTest, TheStageOneHeaderHasNoButtons)
{
    auto header = MakeHeader(StageOneSettings());
    EXPECT_EQ(header->GetMinimiseButton(), nullptr);
    EXPECT_EQ(header->GetCloseButton(), nullptr);
    EXPECT_TRUE(header->GetChildren().empty());
}

TEST_F(HeaderBarTest, TheStripIsTransparentToTheMouseAndReadsTheFormsTheme)
{
    auto header = MakeHeader(StageOneSettings());
    EXPECT_EQ(SendMessageW(header->GetHandle(), WM_NCHITTEST, 0, MAKELPARAM(30, 30)), HTTRANSPARENT);
    EXPECT_THAT(header->GetTypeNames(), testing::ElementsAre("component", "form"));
    EXPECT_FALSE(header->IsFocusable());
    EXPECT_EQ(header->GetX(), 0);
    EXPECT_EQ(header->GetY(), 0);
    EXPECT_EQ(header->GetFontColour(), 0xFF0C1A4Au);
    ASSERT_TRUE(header->GetFont());
    EXPECT_EQ(header->GetFont()->GetStyle() & Gdiplus::FontStyleBold, Gdiplus::FontStyleBold);
}

TEST_F(HeaderBarTest, ButtonsSitAtTheRightEdgeAndCommandTheOwner)
{
    for (const int dpi : {96, 144}) {
        DpiScale::SetForTesting(dpi, dpi);
        const float scale = dpi / 96.0f;
        HeaderBarSettings settings = StageOneSettings();
        settings.minimiseIconId = 4902;  // no such image: the buttons work without their icons
        settings.closeIconId = 4903;
        auto header = MakeHeader(settings);
        auto minimise = header->GetMinimiseButton();
        auto close = header->GetCloseButton();
        ASSERT_TRUE(minimise && close) << dpi;
        EXPECT_THAT(header->GetChildren(), testing::ElementsAre(minimise, close)) << dpi;

        struct Expected {
            std::shared_ptr<WindowComponent> button;
            float left;
            int command;
        };
        // 400 - 12 - 24 - 8 - 24 and 400 - 12 - 24.
        for (const Expected& e : {Expected{minimise, 332, SC_MINIMIZE}, Expected{close, 364, SC_CLOSE}}) {
            EXPECT_EQ(e.button->GetX(), e.left) << dpi;
            EXPECT_EQ(e.button->GetY(), 6) << dpi;
            EXPECT_EQ(e.button->GetWidth(), 24) << dpi;
            EXPECT_EQ(e.button->GetHeight(), 24) << dpi;
            EXPECT_EQ(e.button->GetTargetWindow(), form->GetHandle()) << dpi;
            ASSERT_NE(e.button->GetHandle(), nullptr) << dpi;
            RECT area{};
            GetWindowRect(e.button->GetHandle(), &area);
            MapWindowPoints(HWND_DESKTOP, header->GetHandle(), reinterpret_cast<POINT*>(&area), 2);
            EXPECT_EQ(area.left, static_cast<LONG>(e.left * scale)) << dpi;
            EXPECT_EQ(area.top, static_cast<LONG>(6 * scale)) << dpi;
            EXPECT_EQ(area.right - area.left, static_cast<LONG>(24 * scale)) << dpi;

            form->commands.clear();
            SendMessageW(e.button->GetHandle(), WM_NCLBUTTONUP, e.button->GetHitTestCode(), 0);
            test::PumpMessages();
            EXPECT_THAT(form->commands, testing::ElementsAre(e.command)) << dpi;
        }
        EXPECT_EQ(minimise->GetIconSize(), 24) << dpi;
        EXPECT_FALSE(minimise->HasIcon()) << dpi;
        form.reset();
    }
}

TEST_F(HeaderBarTest, BackgroundAndTitleInPixels)
{
    for (const int dpi : {96, 144}) {
        DpiScale::SetForTesting(dpi, dpi);
        const float scale = dpi / 96.0f;
        auto header = MakeHeader(StageOneSettings());
        const auto pixel = [&](float x, float y) {
            return form->PixelAt(static_cast<int>(x * scale), static_cast<int>(y * scale)).GetValue();
        };
        // The darkest pixel of an area, by its green channel.
        const auto darkest = [&](float left, float top, float right, float bottom) {
            int result = 255;
            for (float y = top; y < bottom; y += 1 / scale) {
                for (float x = left; x < right; x += 1 / scale)
                    result = std::min(result, static_cast<int>((pixel(x, y) >> 8) & 0xFF));
            }
            return result;
        };
        form->PaintAll();
        EXPECT_EQ(pixel(390, 5), 0xFFEFF0F2u) << dpi;
        EXPECT_EQ(pixel(200, 60), 0xFFEFF0F2u) << dpi;
        EXPECT_EQ(pixel(200, 70), 0xFFFFFFFFu) << dpi << ": the form below the header";
        EXPECT_EQ(darkest(60, 19, 200, 45), 240) << dpi << ": no title yet";
        ASSERT_TRUE(header->HasLogo());
        int logoPixels = 0;
        for (float y = 20; y < 44; y += 1 / scale) {
            for (float x = 24; x < 48; x += 1 / scale)
                logoPixels += pixel(x, y) != 0xFFEFF0F2u ? 1 : 0;
        }
        EXPECT_GT(logoPixels, 50) << dpi << ": the logo in its 24 x 24 square";
        EXPECT_EQ(darkest(0, 0, 23, 64), 240) << dpi << ": nothing left of the logo";
        EXPECT_EQ(darkest(24, 45, 60, 64), 240) << dpi << ": nothing below the logo";

        header->SetTitle(L"Halvex Vesk");
        form->PaintAll();
        EXPECT_LT(darkest(60, 19, 200, 45), 100) << dpi << ": the dark title";
        EXPECT_EQ(darkest(50, 0, 60, 64), 240) << dpi << ": nothing left of the title's offset";
        EXPECT_EQ(darkest(60, 0, 200, 18), 240) << dpi << ": nothing above it";
        form.reset();
    }
}

}  // namespace
}  // namespace F3
