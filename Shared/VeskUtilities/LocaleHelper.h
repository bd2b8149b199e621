#pragma once

#include <windows.h>

#include "Shared/VeskUtilities/ILocaleHelper.h"

namespace Vesk::Utilities::Locale {

class LocaleHelper : public ILocaleHelper {
public:
    BOOL GetUserPreferredUILanguages(ULONG* count, wchar_t* buffer, ULONG* bufferSize) override;
};

}  // namespace Vesk::Utilities::Locale
