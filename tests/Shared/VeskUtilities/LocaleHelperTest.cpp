#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Shared/VeskUtilities/LocaleHelper.h"

using Vesk::Utilities::Locale::LocaleHelper;

namespace {

TEST(LocaleHelper, GivesLanguageNamesSizeFirst)
{
    LocaleHelper locale;
    ULONG count = 0;
    ULONG size = 0;
    ASSERT_TRUE(locale.GetUserPreferredUILanguages(&count, nullptr, &size));
    ASSERT_GT(size, 2u);
    std::vector<wchar_t> buffer(size, L'?');
    ASSERT_TRUE(locale.GetUserPreferredUILanguages(&count, buffer.data(), &size));
    ASSERT_GE(count, 1u);
    EXPECT_EQ(buffer[size - 1], L'\0');
    EXPECT_EQ(buffer[size - 2], L'\0');
    // Names such as "en-US", not numbers such as "0409".
    const std::wstring first = buffer.data();
    EXPECT_NE(first.find(L'-'), std::wstring::npos) << first;
}

}  // namespace
