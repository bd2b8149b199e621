#pragma once

#include <map>
#include <string>

#include "F3/IThemeResourceLoader.h"
#include "Shared/VeskUtilities/IResourceHelper.h"

namespace F3 {

// Theme documents carried as UTF-8 JSON resources.
class EmbeddedThemeResourceLoader : public IThemeResourceLoader {
public:
    EmbeddedThemeResourceLoader(Vesk::Utilities::Resources::IResourceHelper* resources,
                                std::map<std::wstring, int> themes);

    bool Exists(const std::wstring& name) override;
    // An unknown name throws std::out_of_range; a missing resource or a document that does not
    // parse throws std::runtime_error.
    ThemeResource Load(const std::wstring& name) override;

    // The installer's one theme, "theme".
    static std::map<std::wstring, int> InstallerThemes();

private:
    Vesk::Utilities::Resources::IResourceHelper* resources;
    std::map<std::wstring, int> themes;
};

}  // namespace F3
