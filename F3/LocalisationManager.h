#pragma once

#include <map>
#include <string>
#include <string_view>

#include "F3/ILocalisationManager.h"
#include "F3/ILocalisationResourceLoader.h"
#include "Shared/VeskUtilities/ILocaleHelper.h"

namespace F3 {

// Chooses the user-interface language once, from the user's first preferred UI language, and
// answers texts from its table.
class LocalisationManager : public ILocalisationManager {
public:
    // Throws what the loader's Load throws.
    LocalisationManager(Vesk::Utilities::Locale::ILocaleHelper* locale, ILocalisationResourceLoader* loader,
                        std::wstring defaultLanguage);

    std::wstring Get(std::wstring_view key, const std::map<std::wstring, std::wstring>& substitutions = {}) override;
    std::wstring GetUpper(std::wstring_view key,
                          const std::map<std::wstring, std::wstring>& substitutions = {}) override;
    std::wstring CurrentLanguage() override;

private:
    std::wstring ChooseLanguage();

    Vesk::Utilities::Locale::ILocaleHelper* locale;
    ILocalisationResourceLoader* loader;
    std::wstring defaultLanguage;
    std::wstring currentLanguage;
    std::map<std::wstring, std::wstring> texts;
};

}  // namespace F3
