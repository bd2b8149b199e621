#pragma once

#include <windows.h>

#include <memory>

#include "F3/Gdiplus.h"

namespace F3 {

// A PNG image from the program's RT_RCDATA resources, drawn with an alpha.
class PngImage {
public:
    virtual ~PngImage() = default;

    // Null when the resource is missing or is not an image GDI+ can read. The module is the
    // program itself unless one is given.
    static std::unique_ptr<PngImage> Load(int resourceId, HMODULE module = nullptr);

    // The whole bitmap from the source offset into the rectangle (all in DIP); true when GDI+
    // drew it.
    bool Draw(Gdiplus::Graphics& graphics, float x, float y, float sourceX, float sourceY, float width, float height,
              BYTE alpha) const;

    // The bitmap's size in pixels.
    float GetWidth() const { return width; }
    float GetHeight() const { return height; }

private:
    explicit PngImage(std::unique_ptr<Gdiplus::Bitmap> bitmap);

    std::unique_ptr<Gdiplus::Bitmap> bitmap;
    float width = 0;
    float height = 0;
};

}  // namespace F3
