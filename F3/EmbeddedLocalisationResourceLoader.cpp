#include "F3/EmbeddedLocalisationResourceLoader.h"

#include <cwchar>
#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

#include "halvlib/String.h"
#include "Resources/ResourceIds.h"

namespace F3 {

EmbeddedLocalisationResourceLoader::EmbeddedLocalisationResourceLoader(
    Vesk::Utilities::Resources::IResourceHelper* resources, std::map<std::wstring, int> languages)
    : resources(resources), languages(std::move(languages))
{
}

std::map<std::wstring, int> EmbeddedLocalisationResourceLoader::InstallerLanguages()
{
    return {{L"de-de", IDR_LOCALISATION_DE_DE}, {L"en-us", IDR_LOCALISATION_EN_US},
            {L"es-es", IDR_LOCALISATION_ES_ES}, {L"fr-fr", IDR_LOCALISATION_FR_FR},
            {L"it-it", IDR_LOCALISATION_IT_IT}, {L"ja-jp", IDR_LOCALISATION_JA_JP}};
}

std::optional<std::wstring> EmbeddedLocalisationResourceLoader::FindLanguage(const wchar_t* tag, std::size_t length)
{
    for (const auto& [language, id] : languages) {
        // A language shorter than the tag cannot match it.
        if (language.size() >= length && _wcsnicmp(language.c_str(), tag, length) == 0)
            return language;
    }
    return std::nullopt;
}

std::map<std::wstring, std::wstring> EmbeddedLocalisationResourceLoader::Load(const std::wstring& language)
{
    const int id = languages.at(language);
    std::map<std::wstring, std::wstring> texts;
    const std::optional<std::string> bytes = resources->Load(id);
    if (!bytes)
        return texts;
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(*bytes);
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(e.what());
    }
    if (!document.is_object())
        throw std::runtime_error("Localisation table " + halvlib::string::ToUtf8(language) + " is not an object");
    for (const auto& [key, value] : document.items()) {
        texts[halvlib::string::ToUtf16(key)] =
            value.is_string() ? halvlib::string::ToUtf16(value.get<std::string>()) : std::wstring();
    }
    return texts;
}

}  // namespace F3
