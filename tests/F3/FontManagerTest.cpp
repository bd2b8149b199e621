#include <windows.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/FontManager.h"
#include "Resources/ResourceIds.h"
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
    FontManager notAFont({IDR_LOCALISATION_EN_US});  // the collection refuses it
    EXPECT_EQ(FamilyOf(*notAFont.GetFont(9, false, false, false, L"Inter")), L"Tahoma");
}

TEST_F(FontManagerTest, SizesThatPrintAlikeToSixDecimalsShareAnEntry)
{
    FontManager fonts(FontManager::InstallerFonts());
    const auto nine = fonts.GetFont(9, false, false, false, L"Inter");
    EXPECT_EQ(fonts.GetFont(9.0000001, false, false, false, L"Inter"), nine);
    EXPECT_NE(fonts.GetFont(9.000001, false, false, false, L"Inter"), nine);
    EXPECT_NE(fonts.GetFont(9, false, false, false, L"inter"), nine) << "the family name as given";
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

}  // namespace
}  // namespace F3
