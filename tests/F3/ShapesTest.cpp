#include <windows.h>

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/Shapes.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

class ShapesTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
        bitmap = std::make_unique<Gdiplus::Bitmap>(150, 90, PixelFormat32bppARGB);
        graphics = std::make_unique<Gdiplus::Graphics>(bitmap.get());
        graphics->Clear(Gdiplus::Color(0, 0, 0, 0));
    }
    void TearDown() override
    {
        graphics.reset();
        DpiScale::SetForTesting(96, 96);
    }

    Gdiplus::Color At(int x, int y) const
    {
        Gdiplus::Color colour;
        bitmap->GetPixel(x, y, &colour);
        return colour;
    }

    std::unique_ptr<Gdiplus::Bitmap> bitmap;
    std::unique_ptr<Gdiplus::Graphics> graphics;
};

TEST_F(ShapesTest, ThePathCoversTheAreaInPixelsOneShortOnTheRightAndBottom)
{
    struct Case {
        int dpi;
        float diameter;
    };
    for (const Case& c : {Case{96, 0}, Case{96, 20}, Case{144, 0}, Case{144, 20}}) {
        DpiScale::SetForTesting(c.dpi, c.dpi);
        const float scale = c.dpi / 96.0f;
        const auto path = RoundedRectanglePath(10, 5, 50, 35, c.diameter);
        Gdiplus::RectF bounds;
        ASSERT_EQ(path->GetBounds(&bounds), Gdiplus::Ok);
        EXPECT_NEAR(bounds.X, 10 * scale, 0.01) << c.dpi << " " << c.diameter;
        EXPECT_NEAR(bounds.Y, 5 * scale, 0.01) << c.dpi << " " << c.diameter;
        EXPECT_NEAR(bounds.Width, 40 * scale - 1, 0.01) << c.dpi << " " << c.diameter;
        EXPECT_NEAR(bounds.Height, 30 * scale - 1, 0.01) << c.dpi << " " << c.diameter;

        const bool cornerInside = path->IsVisible((10 + 1) * scale, (5 + 1) * scale) != FALSE;
        EXPECT_EQ(cornerInside, c.diameter == 0) << c.dpi << " " << c.diameter;
        EXPECT_TRUE(path->IsVisible(30 * scale, 20 * scale)) << c.dpi << " " << c.diameter;
        // The corner arc stays inside a square of the diameter.
        EXPECT_TRUE(path->IsVisible((10 + 10) * scale, (5 + 1) * scale)) << c.dpi << " " << c.diameter;
    }
}

TEST_F(ShapesTest, ASolidFillLeavesTheLastColumnAndRowAndTheRoundedCorners)
{
    FillRoundedRectangle(*graphics, 0, 0, 20, 10, 0, Gdiplus::Color(255, 255, 0, 0));
    EXPECT_EQ(At(0, 0).GetValue(), 0xFFFF0000u);
    EXPECT_EQ(At(18, 8).GetValue(), 0xFFFF0000u);
    EXPECT_EQ(At(19, 5).GetAlpha(), 0);
    EXPECT_EQ(At(5, 9).GetAlpha(), 0);

    FillRoundedRectangle(*graphics, 40, 0, 80, 20, 20, Gdiplus::Color(255, 0, 0, 255));
    EXPECT_EQ(At(40, 0).GetAlpha(), 0);
    EXPECT_EQ(At(78, 18).GetAlpha(), 0);
    EXPECT_EQ(At(60, 10).GetValue(), 0xFF0000FFu);
    EXPECT_EQ(At(60, 0).GetValue(), 0xFF0000FFu) << "the straight top edge";
}

TEST_F(ShapesTest, AGradientRunsBetweenItsPoints)
{
    FillRoundedRectangleGradient(*graphics, 0, 0, 100, 20, 0, Gdiplus::PointF(0, 10), Gdiplus::PointF(100, 10),
                                 Gdiplus::Color(255, 255, 0, 0), Gdiplus::Color(255, 0, 0, 255));
    EXPECT_GT(At(2, 10).GetRed(), 240);
    EXPECT_GT(At(97, 10).GetBlue(), 240);
    EXPECT_NEAR(At(50, 10).GetRed(), 127, 8);
    EXPECT_NEAR(At(50, 10).GetBlue(), 127, 8);

    // An empty gradient line, as an empty progress fill has, draws nothing.
    FillRoundedRectangleGradient(*graphics, 0, 40, 100, 60, 0, Gdiplus::PointF(0, 50), Gdiplus::PointF(0, 50),
                                 Gdiplus::Color(255, 255, 0, 0), Gdiplus::Color(255, 0, 0, 255));
    EXPECT_EQ(At(50, 50).GetAlpha(), 0);
}

TEST_F(ShapesTest, AShadowFadesFromTheAreasCentreToItsEdge)
{
    // An area away from the origin, as a shadow narrowed inside its button is.
    FillShadow(*graphics, 40, 10, 120, 50, 0, Gdiplus::Color(200, 0, 0, 0));
    const int centre = At(80, 30).GetAlpha();
    EXPECT_NEAR(centre, 200, 4);
    EXPECT_LT(At(41, 30).GetAlpha(), 40);
    EXPECT_LT(At(80, 11).GetAlpha(), 40);
    EXPECT_EQ(At(30, 30).GetAlpha(), 0) << "nothing outside the area";
    const int left = At(50, 30).GetAlpha();
    const int right = At(110, 30).GetAlpha();
    EXPECT_LT(left, centre);
    EXPECT_NEAR(left, right, 4) << "centred on the area, not on its size";
    EXPECT_EQ(At(80, 30).GetRed(), 0);
}

}  // namespace
}  // namespace F3
