#include <windows.h>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"

namespace F3 {
namespace {

class DpiScaleTest : public testing::Test {
protected:
    // The display's own values again, whatever a test left behind.
    void TearDown() override { DpiScale::ResetForTesting(); }
};

int DisplayDpi(int index)
{
    const HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, index);
    ReleaseDC(nullptr, dc);
    return dpi;
}

TEST_F(DpiScaleTest, ConvertsBothWaysWithoutRounding)
{
    struct Case {
        int dpi;
        float dip;
        float pixels;
    };
    for (const Case& c : {Case{96, 10, 10}, Case{120, 10, 12.5f}, Case{144, 10, 15}, Case{192, 10, 20},
                          Case{120, 1, 1.25f}, Case{144, 0.5f, 0.75f}, Case{192, 0.25f, 0.5f}}) {
        DpiScale::SetForTesting(c.dpi, 96);
        EXPECT_FLOAT_EQ(DpiScale::DipToPixelsX(c.dip), c.pixels) << c.dpi;
        EXPECT_FLOAT_EQ(DpiScale::PixelsToDipX(c.pixels), c.dip) << c.dpi;
        EXPECT_FLOAT_EQ(DpiScale::DipToPixelsY(c.dip), c.dip) << "the vertical DPI is its own";
        EXPECT_FLOAT_EQ(DpiScale::PixelsToDipY(c.pixels), c.pixels) << "the vertical DPI is its own";
        DpiScale::SetForTesting(96, c.dpi);
        EXPECT_FLOAT_EQ(DpiScale::DipToPixelsY(c.dip), c.pixels) << c.dpi;
        EXPECT_FLOAT_EQ(DpiScale::PixelsToDipY(c.pixels), c.dip) << c.dpi;
        EXPECT_FLOAT_EQ(DpiScale::DipToPixelsX(c.dip), c.dip) << "the horizontal DPI is its own";
    }
}

TEST_F(DpiScaleTest, WithoutADisplayConversionsAreIdentityUntilOneIsThere)
{
    int attempts = 0;
    bool displayThere = false;
    DpiScale::ResetForTesting([&]() -> HDC {
        ++attempts;
        return displayThere ? CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr) : nullptr;
    });
    EXPECT_FLOAT_EQ(DpiScale::DipToPixelsX(10), 10);
    EXPECT_FLOAT_EQ(DpiScale::PixelsToDipY(10), 10);
    EXPECT_EQ(DpiScale::VerticalDpi(), 96);
    EXPECT_EQ(attempts, 3) << "tried again while it fails";

    displayThere = true;
    EXPECT_EQ(DpiScale::HorizontalDpi(), DisplayDpi(LOGPIXELSX));
    EXPECT_EQ(DpiScale::VerticalDpi(), DisplayDpi(LOGPIXELSY));
    DpiScale::DipToPixelsX(1);
    EXPECT_EQ(attempts, 4) << "read once it succeeded";
}

}  // namespace
}  // namespace F3
