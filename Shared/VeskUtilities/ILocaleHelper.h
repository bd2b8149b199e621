#pragma once

#include <windows.h>

namespace Vesk::Utilities::Locale {

// The user's preferred UI languages; tests give fakes.
class ILocaleHelper {
public:
    virtual ~ILocaleHelper() = default;
    // GetUserPreferredUILanguages with MUI_LANGUAGE_NAME: a null buffer asks for the size, then a
    // buffer of that size takes the NUL-separated list.
    virtual BOOL GetUserPreferredUILanguages(ULONG* count, wchar_t* buffer, ULONG* bufferSize) = 0;
};

}  // namespace Vesk::Utilities::Locale
