#include <windows.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/FontManager.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

std::wstring FamilyOf(const Gdiplus::Font& font)
{
    Gdiplus::FontFamily family;
    font.GetFamily(&family);
    wchar_t name[LF_FACESIZE] = {};
    family.GetFamilyName(name);
    return name;
}

class FontManagerTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
    }
    void TearDown() override { DpiScale::SetForTesting(96, 96); }
};

TEST_F(FontManagerTest, TheCarriedFacesAreFoundByTheirFamilyName)
{
    FontManager fonts(FontManager::InstallerFonts());
    for (const bool bold : {false, true}) {
        const auto font = fonts.GetFont(11, bold, false, false, L"Inter");
        ASSERT_TRUE(font);
        EXPECT_EQ(font->GetLastStatus(), Gdiplus::Ok);
        EXPECT_EQ(FamilyOf(*font), L"Inter") << bold;
        EXPECT_EQ(font->GetStyle(), bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular);
    }
}

TEST_F(FontManagerTest, AnUnknownFamilyOrAMissingFileFallsBackToTahoma)
{
    FontManager fonts(FontManager::InstallerFonts());
    EXPECT_EQ(FamilyOf(*fonts.GetFont(9, false, false, false, L"No Such Family")), L"Tahoma");
    FontManager without({1});  // no font file under that id
    EXPECT_EQ(FamilyOf(*without.GetFont(9, false, false, false, L"Inter")), L"Tahoma");
}

TEST_F(FontManagerTest, FontsAreSharedPerRequestAndStyledByItsFlags)
{
    FontManager fonts(FontManager::InstallerFonts());
    const auto bold = fonts.GetFont(9, true, false, false, L"Inter");
    EXPECT_EQ(fonts.GetFont(9, true, false, false, L"Inter"), bold);
    const auto boldUnderlined = fonts.GetFont(9, true, true, false, L"Inter");
    EXPECT_NE(boldUnderlined, bold) << "another cache entry";
    EXPECT_EQ(boldUnderlined->GetStyle(), Gdiplus::FontStyleBold) << "underline is not combined with bold";
    EXPECT_EQ(fonts.GetFont(9, true, false, true, L"Inter")->GetStyle(), Gdiplus::FontStyleBoldItalic);
    EXPECT_EQ(fonts.GetFont(9, false, true, true, L"Inter")->GetStyle(), Gdiplus::FontStyleItalic);
    EXPECT_EQ(fonts.GetFont(9, false, true, false, L"Inter")->GetStyle(), Gdiplus::FontStyleUnderline);
    EXPECT_NE(fonts.GetFont(9.5, true, false, false, L"Inter"), bold);
}

TEST_F(FontManagerTest, EmSizesArePixelsForTheVerticalDpi)
{
    struct Case {
        int dpi;
        double points;
        float pixels;
    };
    for (const Case& c : {Case{96, 9, 12}, Case{120, 9, 15}, Case{144, 9, 18}, Case{192, 15.75, 42}}) {
        DpiScale::SetForTesting(96, c.dpi);
        FontManager fonts(FontManager::InstallerFonts());
        const auto font = fonts.GetFont(c.points, false, false, false, L"Inter");
        EXPECT_FLOAT_EQ(font->GetSize(), c.pixels) << c.dpi;
        EXPECT_EQ(font->GetUnit(), Gdiplus::UnitPixel);
    }
}

TEST(DpiScale, ConvertsBothWaysWithoutRounding)
{
    struct Case {
        int dpi;
        float dip;
        float pixels;
    };
    for (const Case& c : {Case{96, 10, 10}, Case{120, 10, 12.5f}, Case{144, 10, 15}, Case{192, 10, 20},
                          Case{144, 0.5f, 0.75f}}) {
        DpiScale::SetForTesting(c.dpi, 96);
        EXPECT_FLOAT_EQ(DpiScale::DipToPixelsX(c.dip), c.pixels) << c.dpi;
        EXPECT_FLOAT_EQ(DpiScale::PixelsToDipX(c.pixels), c.dip) << c.dpi;
        EXPECT_FLOAT_EQ(DpiScale::DipToPixelsY(c.dip), c.dip) << "the vertical DPI is its own";
        DpiScale::SetForTesting(96, c.dpi);
        EXPECT_FLOAT_EQ(DpiScale::DipToPixelsY(c.dip), c.pixels) << c.dpi;
        EXPECT_FLOAT_EQ(DpiScale::PixelsToDipY(c.pixels), c.dip) << c.dpi;
    }
    DpiScale::SetForTesting(96, 96);
}

TEST(DpiScale, WithoutADisplayConversionsAreIdentityUntilOneIsThere)
{
    int attempts = 0;
    bool displayThere = false;
    DpiScale::ResetForTesting([&]() -> HDC {
        ++attempts;
        return displayThere ? CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr) : nullptr;
    });
    EXPECT_FLOAT_EQ(DpiScale::DipToPixelsX(10), 10);
    EXPECT_FLOAT_EQ(DpiScale::PixelsToDipY(10), 10);
    EXPECT_EQ(attempts, 2) << "tried again while it fails";
    displayThere = true;
    const int dpi = DpiScale::HorizontalDpi();
    EXPECT_EQ(dpi, GetDeviceCaps(GetDC(nullptr), LOGPIXELSX));
    DpiScale::DipToPixelsX(1);
    EXPECT_EQ(attempts, 3) << "read once it succeeded";
    DpiScale::ResetForTesting();
    DpiScale::SetForTesting(96, 96);
}

}  // namespace
}  // namespace F3
