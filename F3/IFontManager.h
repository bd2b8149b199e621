#pragma once

#include <memory>
#include <string>

namespace Gdiplus {
class Font;
}

namespace F3 {

// Fonts from the program's own font files, sized for the display and shared.
class IFontManager {
public:
    virtual ~IFontManager() = default;
    // size in points.
    virtual std::shared_ptr<Gdiplus::Font> GetFont(double size, bool bold, bool underline, bool italic,
                                                   std::wstring family) = 0;
};

}  // namespace F3
