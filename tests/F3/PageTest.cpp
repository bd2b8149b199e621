#include <windows.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/Page.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

class PageTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
    }
    void TearDown() override { DpiScale::SetForTesting(96, 96); }
};

TEST_F(PageTest, StartsWithTheValuesOfAPageNotYetShown)
{
    Page page(0, 0, 10, 10);
    EXPECT_EQ(page.Top().Get(), 0.0f);
    EXPECT_EQ(page.Raise().Get(), 0);
    EXPECT_EQ(page.Shown().Get(), 0);
    EXPECT_EQ(page.Enabled().Get(), 0);
    EXPECT_EQ(page.Alpha().Get(), -1);
    EXPECT_EQ(page.Fading().Get(), 0);
    EXPECT_EQ(page.GetName(), L"sub-page");
    EXPECT_FALSE(page.IsFocusable());
}

TEST_F(PageTest, AnswersUiAutomationAsAPageThatDoesNotScroll)
{
    struct Case {
        int dpiX;
        int dpiY;
        double viewWidth;
        double viewHeight;
    };
    for (const Case& c : {Case{96, 96, 400, 116}, Case{144, 144, 600, 174}, Case{192, 120, 800, 145}}) {
        DpiScale::SetForTesting(c.dpiX, c.dpiY);
        Page page(0, 0, 400, 116);
        const std::string context = std::to_string(c.dpiX) + "x" + std::to_string(c.dpiY);
        EXPECT_DOUBLE_EQ(page.GetHorizontalViewSize(), c.viewWidth) << context;
        EXPECT_DOUBLE_EQ(page.GetVerticalViewSize(), c.viewHeight) << context;
        EXPECT_FALSE(page.IsHorizontallyScrollable()) << context;
        EXPECT_FALSE(page.IsVerticallyScrollable()) << context;
        EXPECT_EQ(page.GetHorizontalScrollPercent(), 0) << context;
        EXPECT_EQ(page.GetVerticalScrollPercent(), 0) << context;
        EXPECT_FALSE(page.IsScrollPatternAvailable()) << context;
    }
}

}  // namespace
}  // namespace F3
