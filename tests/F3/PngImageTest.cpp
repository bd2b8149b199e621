#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/PngImage.h"
#include "Resources/ResourceIds.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

class PngImageTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
    }

    // Opaque-enough pixels of the logo drawn with alpha into a 24 x 24 DIP square.
    int InkedPixels(BYTE alpha, int dpi, int& size)
    {
        DpiScale::SetForTesting(dpi, dpi);
        auto image = PngImage::Load(IDR_IMAGE_HEADER_LOGO);
        size = static_cast<int>(DpiScale::DipToPixelsX(24));
        Gdiplus::Bitmap canvas(size + 4, size + 4, PixelFormat32bppARGB);
        Gdiplus::Graphics graphics(&canvas);
        graphics.Clear(Gdiplus::Color(0, 0, 0, 0));
        EXPECT_TRUE(image->Draw(graphics, 0, 0, 0, 0, 24, 24, alpha));
        int inked = 0;
        for (int y = 0; y < size + 4; ++y) {
            for (int x = 0; x < size + 4; ++x) {
                Gdiplus::Color pixel;
                canvas.GetPixel(x, y, &pixel);
                if (pixel.GetA() > 0) {
                    EXPECT_LT(x, size + 1);
                    EXPECT_LT(y, size + 1);
                    ++inked;
                }
            }
        }
        return inked;
    }
};

TEST_F(PngImageTest, TheProgramsImagesLoadWithTheirPixelSizes)
{
    const auto logo = PngImage::Load(IDR_IMAGE_HEADER_LOGO);
    ASSERT_TRUE(logo);
    EXPECT_EQ(logo->GetWidth(), 48.0f);
    EXPECT_EQ(logo->GetHeight(), 48.0f);
    const auto download = PngImage::Load(IDR_IMAGE_DOWNLOAD);
    ASSERT_TRUE(download);
    EXPECT_EQ(download->GetWidth(), 32.0f);
}

TEST_F(PngImageTest, AMissingOrUnreadableResourceGivesNoImage)
{
    EXPECT_EQ(PngImage::Load(4999), nullptr);
    // A resource that is there but is no image: the theme's JSON is "BINARY", the fonts too.
    EXPECT_EQ(PngImage::Load(IDR_THEME), nullptr);
}

TEST_F(PngImageTest, DrawnIntoItsRectangleAtEveryScaleAndNotAtAlphaZero)
{
    int size = 0;
    EXPECT_GT(InkedPixels(255, 96, size), 100);
    EXPECT_EQ(size, 24);
    EXPECT_GT(InkedPixels(255, 144, size), 200);
    EXPECT_EQ(size, 36);
    EXPECT_EQ(InkedPixels(0, 96, size), 0);
}

}  // namespace
}  // namespace F3
