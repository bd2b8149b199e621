#include "Shared/VeskUtilities/LocaleHelper.h"

namespace Vesk::Utilities::Locale {

BOOL LocaleHelper::GetUserPreferredUILanguages(ULONG* count, wchar_t* buffer, ULONG* bufferSize)
{
    return ::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, count, buffer, bufferSize);
}

}  // namespace Vesk::Utilities::Locale
