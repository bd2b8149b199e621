#include "F3/LocalisationManager.h"

#include <cwctype>
#include <optional>
#include <utility>
#include <vector>

namespace F3 {

LocalisationManager::LocalisationManager(Vesk::Utilities::Locale::ILocaleHelper* locale,
                                         ILocalisationResourceLoader* loader, std::wstring defaultLanguage)
    : locale(locale), loader(loader), defaultLanguage(std::move(defaultLanguage))
{
    currentLanguage = ChooseLanguage();
    texts = loader->Load(currentLanguage);
}

std::wstring LocalisationManager::ChooseLanguage()
{
    ULONG count = 0;
    ULONG size = 0;
    if (!locale->GetUserPreferredUILanguages(&count, nullptr, &size) || size == 0)
        return defaultLanguage;
    std::vector<wchar_t> buffer(size);
    if (!locale->GetUserPreferredUILanguages(&count, buffer.data(), &size))
        return defaultLanguage;
    // Only the first tag counts; the list is NUL-separated.
    buffer.push_back(L'\0');
    const std::wstring first(buffer.data());
    if (first.empty())
        return defaultLanguage;
    if (std::optional<std::wstring> found = loader->FindLanguage(first.c_str(), first.size()))
        return *found;
    if (first.size() > 2) {
        if (std::optional<std::wstring> found = loader->FindLanguage(first.c_str(), 2))
            return *found;
    }
    return defaultLanguage;
}

std::wstring LocalisationManager::Get(std::wstring_view key, const std::map<std::wstring, std::wstring>& substitutions)
{
    if (key.empty())
        return {};
    const auto found = texts.find(std::wstring(key));
    if (found == texts.end())
        return std::wstring(key);
    std::wstring text = found->second;
    for (const auto& [name, value] : substitutions) {
        const std::wstring pattern = L"{" + name + L"}";
        // The search goes on after the inserted value, so a value is never expanded again.
        for (std::size_t at = text.find(pattern); at != std::wstring::npos; at = text.find(pattern, at)) {
            text.replace(at, pattern.size(), value);
            at += value.size();
        }
    }
    return text;
}

std::wstring LocalisationManager::GetUpper(std::wstring_view key,
                                           const std::map<std::wstring, std::wstring>& substitutions)
{
    std::wstring text = Get(key, substitutions);
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

std::wstring LocalisationManager::CurrentLanguage() { return currentLanguage; }

}  // namespace F3
