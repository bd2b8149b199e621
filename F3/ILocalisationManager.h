#pragma once

#include <map>
#include <string>
#include <string_view>

namespace F3 {

// Localised texts by key, in the one language chosen at start-up.
class ILocalisationManager {
public:
    virtual ~ILocalisationManager() = default;
    // The text of key with every "{name}" of substitutions filled in; an unknown key comes back
    // as it is, an empty key gives an empty text.
    virtual std::wstring Get(std::wstring_view key, const std::map<std::wstring, std::wstring>& substitutions = {}) = 0;
    // Get, in capitals.
    virtual std::wstring GetUpper(std::wstring_view key,
                                  const std::map<std::wstring, std::wstring>& substitutions = {}) = 0;
    // The chosen language, such as "en-us".
    virtual std::wstring CurrentLanguage() = 0;
};

}  // namespace F3
