#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "F3/Gdiplus.h"
#include "F3/IFontManager.h"

namespace F3 {

// One font file of the program's resources, added to a private collection; the resource is
// freed with it.
class FontResource {
public:
    // Null when the resource is missing or the collection refuses it.
    static std::unique_ptr<FontResource> Create(int resourceId, Gdiplus::PrivateFontCollection& collection);
    virtual ~FontResource();
    FontResource(const FontResource&) = delete;
    FontResource& operator=(const FontResource&) = delete;

private:
    explicit FontResource(HGLOBAL data) : data(data) {}
    HGLOBAL data;
};

// Fonts from the program's own font files, in pixels for the display, each made once.
class FontManager : public IFontManager {
public:
    explicit FontManager(const std::vector<int>& fontResourceIds);
    ~FontManager() override;
    FontManager(const FontManager&) = delete;
    FontManager& operator=(const FontManager&) = delete;

    // A family the collection does not hold is drawn in Tahoma.
    std::shared_ptr<Gdiplus::Font> GetFont(double size, bool bold, bool underline, bool italic,
                                           std::wstring family) override;

    // The installer's regular and bold faces.
    static std::vector<int> InstallerFonts();

private:
    std::vector<std::unique_ptr<FontResource>> resources;
    std::map<std::wstring, std::shared_ptr<Gdiplus::Font>> fonts;
    std::map<std::wstring, std::shared_ptr<Gdiplus::FontFamily>> families;
    std::unique_ptr<Gdiplus::PrivateFontCollection> collection;
};

}  // namespace F3
