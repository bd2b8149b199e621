#include "F3/FontManager.h"

#include <cwchar>
#include <utility>

#include "F3/DpiScale.h"
#include "Resources/ResourceIds.h"

namespace F3 {

std::unique_ptr<FontResource> FontResource::Create(int resourceId, Gdiplus::PrivateFontCollection& collection)
{
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"BINARY");
    if (!found)
        return nullptr;
    const HGLOBAL data = LoadResource(module, found);
    const void* bytes = data ? LockResource(data) : nullptr;
    const DWORD size = SizeofResource(module, found);
    if (!bytes || size == 0 || collection.AddMemoryFont(bytes, static_cast<INT>(size)) != Gdiplus::Ok) {
        if (data)
            FreeResource(data);
        return nullptr;
    }
    return std::unique_ptr<FontResource>(new FontResource(data));
}

FontResource::~FontResource() { FreeResource(data); }

FontManager::FontManager(const std::vector<int>& fontResourceIds)
    : collection(std::make_unique<Gdiplus::PrivateFontCollection>())
{
    for (const int id : fontResourceIds)
        resources.push_back(FontResource::Create(id, *collection));
    GetFont(9, false, false, false, L"Inter");
}

FontManager::~FontManager()
{
    // The fonts and families before the collection they come from, and that before its data.
    fonts.clear();
    families.clear();
    collection.reset();
    resources.clear();
}

std::vector<int> FontManager::InstallerFonts() { return {IDR_FONT_INTER_REGULAR, IDR_FONT_INTER_BOLD}; }

std::shared_ptr<Gdiplus::Font> FontManager::GetFont(double size, bool bold, bool underline, bool italic,
                                                    std::wstring family)
{
    wchar_t number[64];
    std::swprintf(number, 64, L"%f", size);
    std::wstring key = family + number;
    if (bold)
        key += L"BOLD";
    if (italic)
        key += L"ITALIC";
    if (underline)
        key += L"UNDERLINE";
    if (const auto cached = fonts.find(key); cached != fonts.end())
        return cached->second;

    // Underline is not combined with bold or italic.
    INT style = Gdiplus::FontStyleRegular;
    if (bold)
        style = italic ? Gdiplus::FontStyleBoldItalic : Gdiplus::FontStyleBold;
    else if (italic)
        style = Gdiplus::FontStyleItalic;
    else if (underline)
        style = Gdiplus::FontStyleUnderline;

    auto& known = families[family];
    if (!known)
        known = std::make_shared<Gdiplus::FontFamily>(family.c_str(), collection.get());
    std::shared_ptr<Gdiplus::FontFamily> used = known;
    if (!known->IsAvailable())
        used = std::make_shared<Gdiplus::FontFamily>(L"Tahoma");

    const float emSize = static_cast<float>(size * DpiScale::VerticalDpi() / 72.0);
    auto font = std::make_shared<Gdiplus::Font>(used.get(), emSize, style, Gdiplus::UnitPixel);
    fonts[key] = font;
    return font;
}

}  // namespace F3
