#include <windows.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "F3/Gdiplus.h"
#include "F3/PngImage.h"
#include "Resources/ResourceIds.h"
#include "support/GdiplusSession.h"

namespace {

// The resource bytes of this program (every test program carries the installer's resources).
std::string ResourceBytes(int id, const wchar_t* type)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    return bytes ? std::string(static_cast<const char*>(bytes), SizeofResource(module, found)) : std::string();
}

// The PNG as GDI+ reads it, in its own pixel format (not converted). GDI+ may read the stream
// lazily, so the stream lives as long as the bitmap.
class Decoded {
public:
    explicit Decoded(const std::string& bytes)
    {
        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)))
            return;
        ULONG written = 0;
        LARGE_INTEGER start = {};
        if (SUCCEEDED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) &&
            written == bytes.size() && SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)))
            bitmap = std::make_unique<Gdiplus::Bitmap>(stream);
    }
    ~Decoded()
    {
        bitmap.reset();
        if (stream)
            stream->Release();
    }
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;

    explicit operator bool() const { return bitmap && bitmap->GetLastStatus() == Gdiplus::Ok; }
    Gdiplus::Bitmap* operator->() const { return bitmap.get(); }
    Gdiplus::Bitmap& operator*() const { return *bitmap; }

private:
    IStream* stream = nullptr;
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
};

Gdiplus::Color PixelAt(Gdiplus::Bitmap& bitmap, int x, int y)
{
    Gdiplus::Color colour;
    bitmap.GetPixel(x, y, &colour);
    return colour;
}

class ImagesTest : public testing::Test {
protected:
    void SetUp() override { test::EnsureGdiplus(); }
};

struct ImageCase {
    const char* name;
    int id;
    UINT size;
};

void PrintTo(const ImageCase& image, std::ostream* out)
{
    *out << image.name;
}

class ImageResourceTest : public ImagesTest, public testing::WithParamInterface<ImageCase> {};

TEST_P(ImageResourceTest, IsAnRcdataPngWithAlphaAndTransparentCorners)
{
    const auto [name, id, size] = GetParam();
    const std::string bytes = ResourceBytes(id, RT_RCDATA);
    ASSERT_FALSE(bytes.empty()) << name;
    EXPECT_EQ(bytes.compare(0, 8, "\x89PNG\r\n\x1a\n", 8), 0);
    const Decoded bitmap(bytes);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->GetWidth(), size);
    EXPECT_EQ(bitmap->GetHeight(), size);
    EXPECT_TRUE(Gdiplus::IsAlphaPixelFormat(bitmap->GetPixelFormat())) << bitmap->GetPixelFormat();
    const int last = static_cast<int>(size) - 1;
    for (const auto& [x, y] : {std::pair{0, 0}, {last, 0}, {0, last}, {last, last}})
        EXPECT_EQ(PixelAt(*bitmap, x, y).GetA(), 0) << x << "," << y;

    // What the window loads: the same size, in pixels.
    const auto image = F3::PngImage::Load(id);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), static_cast<float>(size));
    EXPECT_EQ(image->GetHeight(), static_cast<float>(size));
}

INSTANTIATE_TEST_SUITE_P(Images, ImageResourceTest,
                         testing::Values(ImageCase{"HeaderLogo", IDR_IMAGE_HEADER_LOGO, 48},
                                         ImageCase{"Download", IDR_IMAGE_DOWNLOAD, 32}),
                         [](const testing::TestParamInfo<ImageCase>& info) { return std::string(info.param.name); });

TEST_F(ImagesTest, TheLogoIsTheThemesBluesEdgedByPartialAlpha)
{
    const Decoded logo(ResourceBytes(IDR_IMAGE_HEADER_LOGO, RT_RCDATA));
    ASSERT_TRUE(logo);
    // Left and right halves of the shield, clear of the tick.
    const Gdiplus::Color left = PixelAt(*logo, 14, 12);
    const Gdiplus::Color right = PixelAt(*logo, 34, 12);
    EXPECT_EQ(left.GetValue(), Gdiplus::Color(255, 44, 121, 223).GetValue());
    EXPECT_EQ(right.GetValue(), Gdiplus::Color(255, 30, 80, 216).GetValue());
    int partial = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            const BYTE alpha = PixelAt(*logo, x, y).GetA();
            partial += alpha != 0 && alpha != 255;
        }
    EXPECT_GT(partial, 20) << "smoothed edges";
}

TEST_F(ImagesTest, TheDownloadGlyphIsWhiteWhereverItShows)
{
    const Decoded glyph(ResourceBytes(IDR_IMAGE_DOWNLOAD, RT_RCDATA));
    ASSERT_TRUE(glyph);
    int opaque = 0;
    int tinted = 0;
    std::string firstTinted;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const Gdiplus::Color colour = PixelAt(*glyph, x, y);
            if (colour.GetA() == 0)
                continue;
            opaque += colour.GetA() == 255;
            if ((colour.GetValue() & 0xFFFFFF) != 0xFFFFFF && tinted++ == 0)
                firstTinted = std::to_string(x) + "," + std::to_string(y);
        }
    EXPECT_EQ(tinted, 0) << "pixels that show and are not white, the first at " << firstTinted;
    EXPECT_GT(opaque, 100);
    EXPECT_EQ(PixelAt(*glyph, 15, 10).GetA(), 255) << "the arrow's shaft";
    EXPECT_EQ(PixelAt(*glyph, 15, 26).GetA(), 255) << "the tray's floor";
    EXPECT_EQ(PixelAt(*glyph, 10, 22).GetA(), 0) << "inside the tray, beside the arrow";
}

// The icon group's directory as resources store it.
#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

TEST(IconResource, TheGroupHoldsEverySizeAsA32BitImage)
{
    const std::string group = ResourceBytes(IDI_HALVEX_INSTALL, RT_GROUP_ICON);
    ASSERT_GE(group.size(), sizeof(GroupIconHeader));
    GroupIconHeader header;
    std::memcpy(&header, group.data(), sizeof header);
    EXPECT_EQ(header.type, 1);
    ASSERT_EQ(group.size(), sizeof header + header.count * sizeof(GroupIconEntry));
    std::vector<int> sizes;
    for (WORD i = 0; i < header.count; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + sizeof header + i * sizeof entry, sizeof entry);
        const int size = entry.width == 0 ? 256 : entry.width;
        sizes.push_back(size);
        EXPECT_EQ(entry.height, entry.width);
        EXPECT_EQ(entry.bitCount, 32) << size;
        const std::string image = ResourceBytes(entry.id, RT_ICON);
        ASSERT_EQ(image.size(), entry.bytesInRes) << size;
        if (size == 256) {
            EXPECT_EQ(image.compare(0, 8, "\x89PNG\r\n\x1a\n", 8), 0) << "the large image is stored as PNG";
            continue;
        }
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER info;
        std::memcpy(&info, image.data(), sizeof info);
        EXPECT_EQ(info.biWidth, size);
        EXPECT_EQ(info.biHeight, 2 * size) << "colour and mask";
        EXPECT_EQ(info.biBitCount, 32);
        EXPECT_EQ(info.biCompression, static_cast<DWORD>(BI_RGB));
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 256}));
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR first)
{
    *reinterpret_cast<ULONG_PTR*>(first) = IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : 0;
    return FALSE;
}

TEST(IconResource, IsTheProgramsFirstIconGroup)
{
    // Explorer shows a program's first icon group.
    ULONG_PTR first = 0;
    EnumResourceNamesW(GetModuleHandleW(nullptr), RT_GROUP_ICON, &TakeFirstName, reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(first, static_cast<ULONG_PTR>(IDI_HALVEX_INSTALL));
}

class IconSizeTest : public testing::TestWithParam<int> {};

TEST_P(IconSizeTest, LoadsAtExactlyThatSize)
{
    const int size = GetParam();
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_HALVEX_INSTALL),
                                               IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ASSERT_TRUE(icon) << "LoadImageW failed: " << GetLastError();
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour = {};
    ASSERT_TRUE(info.hbmColor) << "a colour icon";
    ASSERT_TRUE(GetObjectW(info.hbmColor, sizeof colour, &colour));
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}

INSTANTIATE_TEST_SUITE_P(Icon, IconSizeTest, testing::Values(16, 20, 24, 32, 40, 48, 256));

}  // namespace
