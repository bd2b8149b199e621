#include "F3/PngImage.h"

#include <cstring>
#include <utility>

#include "F3/DpiScale.h"

namespace F3 {

PngImage::PngImage(std::unique_ptr<Gdiplus::Bitmap> bitmap)
    : bitmap(std::move(bitmap)),
      width(static_cast<float>(this->bitmap->GetWidth())),
      height(static_cast<float>(this->bitmap->GetHeight()))
{
}

std::unique_ptr<PngImage> PngImage::Load(int resourceId, HMODULE module)
{
    if (!module)
        module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found)
        return nullptr;
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0)
        return nullptr;

    // GDI+ reads the stream lazily, so the bitmap gets its own copy of the pixels below before
    // the block goes.
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block)
        return nullptr;
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(target, bytes, size);
    GlobalUnlock(block);

    std::unique_ptr<PngImage> image;
    IStream* stream = nullptr;
    if (SUCCEEDED(CreateStreamOnHGlobal(block, FALSE, &stream))) {
        Gdiplus::Bitmap decoded(stream);
        if (decoded.GetLastStatus() == Gdiplus::Ok && decoded.GetWidth() > 0 && decoded.GetHeight() > 0) {
            auto copy = std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(decoded.GetWidth()),
                                                          static_cast<INT>(decoded.GetHeight()), PixelFormat32bppPARGB);
            if (copy->GetLastStatus() == Gdiplus::Ok) {
                Gdiplus::Graphics graphics(copy.get());
                graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
                if (graphics.DrawImage(&decoded, 0, 0, static_cast<INT>(decoded.GetWidth()),
                                       static_cast<INT>(decoded.GetHeight())) == Gdiplus::Ok)
                    image.reset(new PngImage(std::move(copy)));
            }
        }
        stream->Release();
    }
    GlobalFree(block);
    return image;
}

bool PngImage::Draw(Gdiplus::Graphics& graphics, float x, float y, float sourceX, float sourceY, float drawWidth,
                    float drawHeight, BYTE alpha) const
{
    Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0},
                                    {0, 1, 0, 0, 0},
                                    {0, 0, 1, 0, 0},
                                    {0, 0, 0, static_cast<Gdiplus::REAL>(alpha) / 255.0f, 0},
                                    {0, 0, 0, 0, 1}}};
    Gdiplus::ImageAttributes attributes;
    attributes.SetColorMatrix(&matrix);
    const Gdiplus::RectF destination(DpiScale::DipToPixelsX(x), DpiScale::DipToPixelsY(y),
                                     DpiScale::DipToPixelsX(drawWidth), DpiScale::DipToPixelsY(drawHeight));
    return graphics.DrawImage(bitmap.get(), destination, DpiScale::DipToPixelsX(sourceX),
                              DpiScale::DipToPixelsY(sourceY), width, height, Gdiplus::UnitPixel,
                              &attributes) == Gdiplus::Ok;
}

}  // namespace F3
