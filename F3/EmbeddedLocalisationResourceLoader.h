#pragma once

#include <map>
#include <optional>
#include <string>

#include "F3/ILocalisationResourceLoader.h"
#include "Shared/VeskUtilities/IResourceHelper.h"

namespace F3 {

// Tables of texts carried as UTF-8 JSON resources, one per language.
class EmbeddedLocalisationResourceLoader : public ILocalisationResourceLoader {
public:
    EmbeddedLocalisationResourceLoader(Vesk::Utilities::Resources::IResourceHelper* resources,
                                       std::map<std::wstring, int> languages);

    std::optional<std::wstring> FindLanguage(const wchar_t* tag, std::size_t length) override;
    // An unknown language throws std::out_of_range; a table that does not parse throws
    // std::runtime_error with the parser's text; a missing resource gives an empty table.
    std::map<std::wstring, std::wstring> Load(const std::wstring& language) override;

    // The installer's languages and their resource ids.
    static std::map<std::wstring, int> InstallerLanguages();

private:
    Vesk::Utilities::Resources::IResourceHelper* resources;
    std::map<std::wstring, int> languages;
};

}  // namespace F3
