#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/Painting.h"
#include "F3/ProgressBar.h"
#include "support/AccessibilityTestComponents.h"
#include "support/AnimationTestEngine.h"
#include "support/GdiplusSession.h"
#include "support/PagesTestSupport.h"

namespace F3 {
namespace {

constexpr float kBarWidth = 352;
constexpr float kBarHeight = 12;
constexpr int kPropertyChanged = 20004;
// The embedded theme's colours.
const Gdiplus::Color kFill(255, 44, 121, 223);
const Gdiplus::Color kEmpty(255, 242, 243, 245);

void ExpectColour(const Gdiplus::Color& actual, const Gdiplus::Color& expected, const std::string& context)
{
    EXPECT_EQ(actual.GetA(), expected.GetA()) << context;
    EXPECT_NEAR(actual.GetR(), expected.GetR(), 2) << context;
    EXPECT_NEAR(actual.GetG(), expected.GetG(), 2) << context;
    EXPECT_NEAR(actual.GetB(), expected.GetB(), 2) << context;
}

class ProgressBarTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
    }
    void TearDown() override
    {
        root.reset();
        bar.reset();
        test::PumpPages();
        DpiScale::SetForTesting(96, 96);
    }

    void Create()
    {
        root = std::make_shared<test::PagesRoot>(0, 0, 400, 100);
        root->SetInstance(GetModuleHandleW(nullptr));
        root->SetThemeManager(theme.Manager());
        root->SetAnimationManager(engine.animation);
        bar = std::make_shared<ProgressBar>(24, 20, kBarWidth, kBarHeight);
        root->AddChild(bar);
        root->Create();
        ASSERT_NE(bar->GetHandle(), nullptr);
    }

    void Tick(double time)
    {
        engine.UpdateAt(time);
        root->OnAnimationTick();
    }

    // The value set at the given time and left to fill completely.
    void Settle(float value, double time)
    {
        engine.now = time;
        bar->SetValue(value);
        Tick(time);
        Tick(time + 2);
    }

    test::EmbeddedTheme theme;
    test::AnimationTestEngine engine;
    std::shared_ptr<test::PagesRoot> root;
    std::shared_ptr<ProgressBar> bar;
};

TEST_F(ProgressBarTest, TheValueAlreadyThereStartsNoAnimation)
{
    Create();
    bar->SetValue(0);
    EXPECT_TRUE(engine.Idle());
    Settle(40, 0);
    ASSERT_TRUE(engine.Idle());
    bar->SetValue(40);
    EXPECT_TRUE(engine.Idle());
    EXPECT_EQ(bar->GetValue(), 40);
}

TEST_F(ProgressBarTest, TheFillTakesOneSecondWhateverTheChange)
{
    struct Case {
        float from;
        float to;
    };
    Create();
    double time = 0;
    for (const Case& c : {Case{0, 100}, Case{100, 0}, Case{0, 10}, Case{30, 31}, Case{31, 100}}) {
        const std::string context = std::to_string(c.from) + " to " + std::to_string(c.to);
        Settle(c.from, time);
        time += 10;
        engine.now = time;
        bar->SetValue(c.to);
        Tick(time);
        EXPECT_FLOAT_EQ(bar->GetValue(), c.from) << context;
        Tick(time + 0.5);
        EXPECT_NEAR(bar->GetValue(), (c.from + c.to) / 2, 1e-3) << context;
        Tick(time + 0.99);
        EXPECT_NE(bar->GetValue(), c.to) << context;
        Tick(time + 1.0);
        EXPECT_FLOAT_EQ(bar->GetValue(), c.to) << context;
        EXPECT_TRUE(engine.Idle()) << context;
        time += 10;
    }
}

TEST_F(ProgressBarTest, TheFillCoversItsShareOfTheTrackAndNoMore)
{
    struct Case {
        float value;
        float extent;
    };
    Create();
    double time = 0;
    for (const Case& c : {Case{50, 176}, Case{100, kBarWidth}, Case{150, kBarWidth}, Case{1000, kBarWidth},
                          Case{25, 88}, Case{-20, 0}}) {
        const std::string context = std::to_string(c.value);
        Settle(c.value, time);
        time += 10;
        EXPECT_FLOAT_EQ(bar->GetValue(), c.value) << context << ": reported as laid out";
        const Gdiplus::RectF& fill = bar->GetFillRect();
        EXPECT_FLOAT_EQ(fill.X, 0) << context;
        EXPECT_FLOAT_EQ(fill.Y, 0) << context;
        EXPECT_FLOAT_EQ(fill.Width, c.extent) << context;
        EXPECT_FLOAT_EQ(fill.Height, kBarHeight) << context;
        EXPECT_FLOAT_EQ(bar->GetGradientStart().X, 0) << context;
        EXPECT_FLOAT_EQ(bar->GetGradientEnd().X, c.extent) << context;
        EXPECT_FLOAT_EQ(bar->GetGradientStart().Y, kBarHeight / 2) << context;
        EXPECT_FLOAT_EQ(bar->GetGradientEnd().Y, kBarHeight / 2) << context;
    }
}

TEST_F(ProgressBarTest, ANewValueMidFillCarriesOnFromWhereTheFillIs)
{
    Create();
    engine.now = 0;
    bar->SetValue(50);
    Tick(0);
    Tick(0.5);
    ASSERT_NEAR(bar->GetValue(), 25, 1e-3);
    bar->SetValue(100);
    EXPECT_FALSE(engine.Idle());
    Tick(1.0);
    EXPECT_NEAR(bar->GetValue(), 62.5, 1e-3) << "the new fill, not the end of the old one";
    Tick(1.2);
    EXPECT_NEAR(bar->GetValue(), 77.5, 1e-3);
    Tick(1.5);
    EXPECT_FLOAT_EQ(bar->GetValue(), 100);
    EXPECT_TRUE(engine.Idle());
}

TEST_F(ProgressBarTest, TheLayoutFollowsASizeChange)
{
    Create();
    Settle(50, 0);
    bar->SetSize(200, kBarHeight);
    EXPECT_FLOAT_EQ(bar->GetFillRect().Width, 100);
    EXPECT_FLOAT_EQ(bar->GetGradientEnd().X, 100);
}

TEST_F(ProgressBarTest, PaintsTheTrackAndTheFillInDevicePixels)
{
    for (const int dpi : {96, 144}) {
        DpiScale::SetForTesting(dpi, dpi);
        Create();
        Settle(50, dpi);
        PaintTree(*root, *root->GetBackBufferGraphics(), root->GetClientRect());
        const float scale = dpi / 96.0f;
        const int extent = static_cast<int>(176 * scale);
        const int right = static_cast<int>(kBarWidth * scale);
        const int middle = static_cast<int>(kBarHeight * scale / 2);
        const auto pixel = [&](int x, int y) {
            Gdiplus::Color colour;
            bar->GetBackBuffer()->GetPixel(x, y, &colour);
            return colour;
        };
        const std::string at = std::to_string(dpi) + " dpi, x ";
        for (const int x : {10, extent / 2, extent - 10})
            ExpectColour(pixel(x, middle), kFill, at + std::to_string(x));
        for (const int x : {extent + 10, (extent + right) / 2, right - 10})
            ExpectColour(pixel(x, middle), kEmpty, at + std::to_string(x));
        EXPECT_EQ(pixel(0, 0).GetA(), 0) << dpi << ": rounded corner";
        EXPECT_EQ(pixel(right - 1, static_cast<int>(kBarHeight * scale) - 1).GetA(), 0) << dpi << ": rounded corner";

        // What the bar painted shows in its parent where the bar sits.
        Gdiplus::Color composited;
        root->GetBackBuffer()->GetPixel(static_cast<int>(24 * scale) + extent / 2, static_cast<int>(20 * scale) + middle,
                                        &composited);
        ExpectColour(composited, kFill, std::to_string(dpi) + " dpi in the parent");
        root.reset();
        bar.reset();
        test::PumpPages();
    }
}

// At exactly 1 the corners are rounded more tightly, so the track's far corner covers more of
// the pixels just inside it.
TEST_F(ProgressBarTest, AValueOfExactlyOneRoundsTheCornersTighter)
{
    Create();
    const auto cornerAlpha = [&](float value, double time) {
        Settle(value, time);
        PaintTree(*root, *root->GetBackBufferGraphics(), root->GetClientRect());
        Gdiplus::Color colour;
        bar->GetBackBuffer()->GetPixel(static_cast<int>(kBarWidth) - 3, static_cast<int>(kBarHeight) - 3, &colour);
        return colour.GetA();
    };
    const BYTE atTwo = cornerAlpha(2, 0);
    const BYTE atOne = cornerAlpha(1, 10);
    const BYTE atZero = cornerAlpha(0, 20);
    EXPECT_GT(atOne, atTwo);
    EXPECT_GT(atOne, atZero);
    EXPECT_EQ(atTwo, atZero);
}

TEST_F(ProgressBarTest, ALayoutTellsListeningClientsTheValueChanged)
{
    test::FakeUiaCore uia;
    Create();
    IRawElementProviderSimple* simple = nullptr;
    ASSERT_EQ(bar->GetProvider()->QueryInterface(__uuidof(IRawElementProviderSimple), reinterpret_cast<void**>(&simple)),
              S_OK);
    const auto changes = [&] {
        return std::count_if(test::Uia().events.begin(), test::Uia().events.end(), [&](const auto& event) {
            return event.first == simple && event.second == kPropertyChanged;
        });
    };
    double time = 0;
    for (const bool listening : {false, true}) {
        test::Uia().listening = listening;
        test::Uia().events.clear();
        Settle(listening ? 30.0f : 60.0f, time);
        time += 10;
        if (listening) {
            EXPECT_GE(changes(), 1);
        } else {
            EXPECT_EQ(changes(), 0);
        }
    }

    IRangeValueProvider* range = nullptr;
    ASSERT_EQ(simple->QueryInterface(__uuidof(IRangeValueProvider), reinterpret_cast<void**>(&range)), S_OK);
    double reported = -1;
    EXPECT_EQ(range->get_Value(&reported), S_OK);
    EXPECT_EQ(reported, 30);
    range->Release();
    simple->Release();
}

}  // namespace
}  // namespace F3
