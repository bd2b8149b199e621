#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "F3/IFontManager.h"
#include "F3/ILocalisationManager.h"
#include "F3/IThemeManager.h"
#include "F3/IThemeResourceLoader.h"
#include "F3/ThemeResource.h"

namespace F3 {

// The theme of the run: the named document, and over it one for the current language when the
// loader has one.
class ThemeManager : public IThemeManager {
public:
    // Throws what the loader throws.
    ThemeManager(IFontManager* fonts, IThemeResourceLoader* loader,
                 std::shared_ptr<ILocalisationManager> localisation, std::wstring themeName);

    // Colours for keys that contain "colour", fonts for keys that contain "font", else the plain
    // value. A key found nowhere throws std::runtime_error "Cannot find key"; a value of the wrong
    // kind std::bad_variant_access.
    ThemeValue Get(const std::vector<std::string>& path, const std::string& key) override;

private:
    RawThemeValue Raw(const std::vector<std::string>& path, const std::vector<std::string>& keyPath) const;

    IFontManager* fonts;
    std::shared_ptr<ILocalisationManager> localisation;
    IThemeResourceLoader* loader;
    std::wstring themeName;
    ThemeResource base;
    std::optional<ThemeResource> override_;
};

}  // namespace F3
