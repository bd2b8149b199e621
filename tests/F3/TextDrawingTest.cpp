#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/FontManager.h"
#include "F3/TextDrawing.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

class TextDrawingTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
        fonts = std::make_unique<FontManager>(FontManager::InstallerFonts());
        font = fonts->GetFont(15.0, false, false, false, L"Inter");
        ASSERT_TRUE(font);
        graphics = std::make_unique<Gdiplus::Graphics>(&canvas);
    }

    float Width(const std::wstring& text) { return MeasureText(*graphics, font, text).Width; }

    std::vector<std::wstring> Wrap(const std::wstring& text, float width, float height = 1000, bool limit = false)
    {
        const Gdiplus::StringFormat format;
        return WrapTextLines(*graphics, font, text, Gdiplus::RectF(0, 0, width, height), format, limit);
    }

    Gdiplus::Bitmap canvas{200, 200, PixelFormat32bppARGB};
    std::unique_ptr<FontManager> fonts;
    std::shared_ptr<Gdiplus::Font> font;
    std::unique_ptr<Gdiplus::Graphics> graphics;
};

TEST_F(TextDrawingTest, ALineBreaksAfterTheLastBreakCharacterThatFits)
{
    // Room for "Hello, wo" but not the whole text: the first line keeps the comma and the space.
    const auto lines = Wrap(L"Hello, world", Width(L"Hello, wo"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"Hello, ");
    EXPECT_EQ(lines[1], L"world");
}

TEST_F(TextDrawingTest, AWordLongerThanTheLineIsCutWhereTheLineIsFull)
{
    const std::wstring word = L"Unbreakablewordwithoutspaces";
    const auto lines = Wrap(word, Width(L"Unbreakable"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::accumulate(lines.begin(), lines.end(), std::wstring()), word);
    for (const auto& line : lines)
        EXPECT_LE(Width(line), Width(L"Unbreakable") + 1) << std::string(line.begin(), line.end());
}

// A rectangle narrower than any character still ends: one character a line.
TEST_F(TextDrawingTest, ARectangleTooNarrowForOneCharacterStillEnds)
{
    const auto lines = Wrap(L"abc", 0.5f);
    EXPECT_EQ(std::accumulate(lines.begin(), lines.end(), std::wstring()), L"abc");
}

TEST_F(TextDrawingTest, LimitedToItsHeightTheLastLineTakesTheRest)
{
    const float lineHeight = MeasureText(*graphics, font, L"Hg").Height;
    const auto lines = Wrap(L"one two three four five six", Width(L"three "), lineHeight * 2.5f, true);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0] + lines[1], L"one two three four five six");
}

TEST_F(TextDrawingTest, AnEmptyParagraphStillTakesALine)
{
    const Gdiplus::StringFormat format;
    const Gdiplus::RectF area(0, 0, 180, 180);
    const Gdiplus::Color black(255, 0, 0, 0);
    const float one = DrawParagraphs(*graphics, font, L"a", 1.0f, false, format, black, area);
    const float three = DrawParagraphs(*graphics, font, L"a\n\nb", 1.0f, false, format, black, area);
    ASSERT_GT(one, 0.0f);
    EXPECT_NEAR(three, 3 * one, 2.0f);
}

TEST_F(TextDrawingTest, DrawingPutsInkInsideTheRectangleOnly)
{
    const Gdiplus::StringFormat format;
    graphics->Clear(Gdiplus::Color(0, 0, 0, 0));
    const float used = DrawTextBlock(*graphics, font, L"Downloading...", format, Gdiplus::Color(255, 12, 26, 74),
                                     Gdiplus::RectF(20, 30, 160, 100));
    EXPECT_GT(used, 10.0f);
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            Gdiplus::Color pixel;
            canvas.GetPixel(x, y, &pixel);
            if (pixel.GetA() == 0)
                continue;
            (x >= 20 && y >= 30 && y < 30 + used + 2) ? ++inside : ++outside;
        }
    }
    EXPECT_GT(inside, 20);
    EXPECT_EQ(outside, 0);
}

}  // namespace
}  // namespace F3
