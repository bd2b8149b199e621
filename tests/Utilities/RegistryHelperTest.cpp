#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "halvlib/String.h"
#include "Utilities/RegistryHelper.h"

using utilities::RegistryHelper;

namespace {

// A key of the test's own under HKEY_CURRENT_USER, deleted at the end.
class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        SetEnvironmentVariableW(L"HALVEX_TEST_FOLDER", L"C:\\Expanded");
    }
    void TearDown() override
    {
        RegCloseKey(key);
        RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    }

    void SetString(const wchar_t* name, DWORD type, const std::wstring& text, bool terminated = true)
    {
        const DWORD bytes = static_cast<DWORD>((text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes),
                  ERROR_SUCCESS);
    }

    std::wstring Read(const wchar_t* name)
    {
        return RegistryHelper().ReadStringValue(key, name).value();
    }

    RegistryHelper::Error ErrorOf(const wchar_t* name)
    {
        try {
            RegistryHelper().ReadStringValue(key, name);
        } catch (const RegistryHelper::Error& e) {
            return e;
        }
        ADD_FAILURE() << "no exception";
        return RegistryHelper::Error("", L"", 0);
    }

    const std::wstring path = L"Software\\HalvexTests\\Registry" + std::to_wstring(GetCurrentProcessId());
    HKEY key = nullptr;
};

TEST_F(Registry, ReadsStringsExpandingOnlyExpandableOnes)
{
    const std::wstring longText(400, L'x');
    SetString(L"long", REG_SZ, longText);
    SetString(L"expand", REG_EXPAND_SZ, L"%HALVEX_TEST_FOLDER%\\Halvex");
    SetString(L"plain", REG_SZ, L"%HALVEX_TEST_FOLDER%\\Halvex");
    SetString(L"empty", REG_SZ, L"", false);
    SetString(L"emptyTerminated", REG_SZ, L"");
    SetString(L"unterminated", REG_EXPAND_SZ, L"%HALVEX_TEST_FOLDER%", false);
    EXPECT_EQ(Read(L"long"), longText);
    EXPECT_EQ(Read(L"expand"), L"C:\\Expanded\\Halvex");
    EXPECT_EQ(Read(L"plain"), L"%HALVEX_TEST_FOLDER%\\Halvex");
    EXPECT_EQ(Read(L"empty"), L"");
    EXPECT_EQ(Read(L"emptyTerminated"), L"");
    EXPECT_EQ(Read(L"unterminated"), L"C:\\Expanded");
}

TEST_F(Registry, ErrorsNameOperationCodeAndValue)
{
    const DWORD number = 7;
    ASSERT_EQ(RegSetValueExW(key, L"number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number)),
              ERROR_SUCCESS);
    const auto mismatch = ErrorOf(L"number");
    EXPECT_EQ(mismatch.code, ERROR_UNSUPPORTED_TYPE);
    EXPECT_STREQ(mismatch.what(), "RegGetValueW failed. Error: 1630. Value name='number'.");

    const auto missing = ErrorOf(L"missing \u00fc");
    EXPECT_EQ(missing.code, ERROR_FILE_NOT_FOUND);
    EXPECT_STREQ(missing.what(), "RegGetValueW failed. Error: 2. Value name='missing \xc3\xbc'.");

    try {
        RegistryHelper().OpenKey(HKEY_CURRENT_USER, path + L"\\absent", KEY_READ);
        FAIL() << "no exception";
    } catch (const RegistryHelper::Error& e) {
        EXPECT_EQ(e.code, ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(std::string(e.what()),
                  "OpenKey failed. Error: 2. Value name='" + WideToUtf8(path) + "\\absent'.");
    }
}

TEST_F(Registry, OddDataLengthIsRefused)
{
    const char odd[] = "abc";
    ASSERT_EQ(RegSetValueExW(key, L"odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(odd), 3), ERROR_SUCCESS);
    const auto error = ErrorOf(L"odd");
    EXPECT_EQ(error.code, 0);
    EXPECT_STREQ(error.what(), "Invalid registry value data length. Value name='odd'.");
}

TEST(ExpandEnvironmentString, GrowsToTheResult)
{
    SetEnvironmentVariableW(L"HALVEX_TEST_LONG", std::wstring(1000, L'y').c_str());
    const auto expanded = utilities::ExpandEnvironmentString(L"a%HALVEX_TEST_LONG%b");
    ASSERT_EQ(expanded.size(), 1003u);
    EXPECT_EQ(expanded.back(), L'\0');
    EXPECT_EQ(std::wstring(expanded.data()), L"a" + std::wstring(1000, L'y') + L"b");
}

}  // namespace
