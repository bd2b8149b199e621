#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace F3 {

// The languages the program carries and their tables of texts.
class ILocalisationResourceLoader {
public:
    virtual ~ILocalisationResourceLoader() = default;
    // The first carried language whose first length characters equal tag's, ignoring case.
    virtual std::optional<std::wstring> FindLanguage(const wchar_t* tag, std::size_t length) = 0;
    virtual std::map<std::wstring, std::wstring> Load(const std::wstring& language) = 0;
};

}  // namespace F3
