#include "F3/EmbeddedThemeResourceLoader.h"

#include <optional>
#include <stdexcept>
#include <utility>

#include "halvlib/Logging.h"
#include "Resources/ResourceIds.h"

namespace F3 {

EmbeddedThemeResourceLoader::EmbeddedThemeResourceLoader(Vesk::Utilities::Resources::IResourceHelper* resources,
                                                         std::map<std::wstring, int> themes)
    : resources(resources), themes(std::move(themes))
{
}

std::map<std::wstring, int> EmbeddedThemeResourceLoader::InstallerThemes() { return {{L"theme", IDR_THEME}}; }

bool EmbeddedThemeResourceLoader::Exists(const std::wstring& name) { return themes.count(name) != 0; }

ThemeResource EmbeddedThemeResourceLoader::Load(const std::wstring& name)
{
    const int id = themes.at(name);
    const std::optional<std::string> bytes = resources->Load(id);
    if (!bytes) {
        HALVLIB_LOG(halvlib::logging::Error) << "Theme file not found";
        throw std::runtime_error("Theme file not found");
    }
    try {
        return ThemeResource(nlohmann::json::parse(*bytes));
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(e.what());
    }
}

}  // namespace F3
