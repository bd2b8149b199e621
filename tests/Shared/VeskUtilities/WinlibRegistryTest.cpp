#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "support/TestRegistryKey.h"
#include "halvlib/ErrorCategory.h"
#include "halvlib/String.h"
#include "Shared/VeskUtilities/WinlibRegistry.h"

using namespace winlib::registry;

namespace {

std::vector<BYTE> Utf16Bytes(const std::wstring& text, bool terminated)
{
    const auto* begin = reinterpret_cast<const BYTE*>(text.data());
    std::vector<BYTE> bytes(begin, begin + text.size() * sizeof(wchar_t));
    if (terminated)
        bytes.insert(bytes.end(), sizeof(wchar_t), 0);
    return bytes;
}

std::vector<BYTE> DwordBytes(DWORD value, size_t size)
{
    std::vector<BYTE> bytes(size, 0);
    std::copy_n(reinterpret_cast<const BYTE*>(&value), std::min(size, sizeof(value)), bytes.begin());
    return bytes;
}

std::string SystemText(int code)
{
    return halvlib::string::GetErrorMessage(code, halvlib::string::Decimal);
}

const std::error_code kDataTypeMismatch(ERROR_DATATYPE_MISMATCH, std::system_category());
const std::error_code kInvalidLength = make_error_code(InvalidValueDataLength);

// A key of this test run's own under HKEY_CURRENT_USER\Software\HalvexTests, deleted at the end.
class WinlibRegistry : public test::TestRegistryKey {
protected:
    WinlibRegistry() : TestRegistryKey(L"WinlibRegistry") {}

};

template <class Exception>
std::string WhatOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.what();
    }
    return "no exception";
}

TEST(RegistryKeyPath, DefaultsToTheMachineIn64BitView)
{
    const RegistryKeyPath key(L"SOFTWARE\\Halvex");
    EXPECT_EQ(key.Root(), LocalMachine);
    EXPECT_EQ(key.Path(), L"SOFTWARE\\Halvex");
    EXPECT_EQ(key.ViewFlags(), static_cast<DWORD>(KEY_WOW64_64KEY));

    const RegistryKeyPath user(L"Software\\Halvex", KEY_WOW64_32KEY, CurrentUser);
    EXPECT_EQ(user.Root(), CurrentUser);
    EXPECT_EQ(user.ViewFlags(), static_cast<DWORD>(KEY_WOW64_32KEY));
}

TEST(RegistryKeyPath, RefusesBlankPathsAndEdgeBackslashes)
{
    const struct {
        std::wstring path;
        std::string what;
    } cases[] = {
        {L"", "Blank key path"},
        {L"\\SOFTWARE\\Halvex", "Key path cannot start with backslash: \\SOFTWARE\\Halvex"},
        {L"\\", "Key path cannot start with backslash: \\"},
        {L"SOFTWARE\\Halvex\\", "Key path cannot end with backslash: SOFTWARE\\Halvex\\"},
        {L"SOFTWARE\\Caf\u00e9\\", "Key path cannot end with backslash: SOFTWARE\\Caf\xc3\xa9\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WhatOf<std::invalid_argument>([&] { RegistryKeyPath{c.path}; }), c.what);
        EXPECT_EQ(WhatOf<std::invalid_argument>([&] { RegistryKeyPath(c.path, KEY_WOW64_32KEY, CurrentUser); }),
                  c.what);
    }
}

TEST(RegistryKeyDescription, NamesViewRootAndPath)
{
    const struct {
        PredefinedKey root;
        DWORD view;
        std::wstring description;
    } cases[] = {
        {LocalMachine, KEY_WOW64_64KEY, L"HKLM\\A\\B"},
        {LocalMachine, KEY_WOW64_32KEY, L"WOW6432Node:HKLM\\A\\B"},
        {CurrentUser, KEY_WOW64_64KEY, L"HKCU\\A\\B"},
        {CurrentUser, KEY_WOW64_32KEY, L"WOW6432Node:HKCU\\A\\B"},
        {Users, KEY_WOW64_64KEY, L"HKU\\A\\B"},
        {ClassesRoot, KEY_WOW64_64KEY, L"HKCR\\A\\B"},
        {CurrentConfig, KEY_WOW64_32KEY, L"WOW6432Node:HKCC\\A\\B"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescribeKey(L"A\\B", c.root, c.view), c.description);
}

TEST(RegistryKeyDescription, PredefinedKeysMapToTheirRoots)
{
    EXPECT_EQ(GetPredefinedKey(LocalMachine), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(GetPredefinedKey(CurrentUser), HKEY_CURRENT_USER);
    EXPECT_EQ(GetPredefinedKey(Users), HKEY_USERS);
    EXPECT_EQ(GetPredefinedKey(ClassesRoot), HKEY_CLASSES_ROOT);
    EXPECT_EQ(GetPredefinedKey(CurrentConfig), HKEY_CURRENT_CONFIG);
}

TEST(RegistryKeyDescription, UnknownPredefinedKeyIsALogicError)
{
    const auto unknown = static_cast<PredefinedKey>(5);
    EXPECT_EQ(WhatOf<std::logic_error>([&] { GetPredefinedKey(unknown); }), "Unknown predefined key");
    EXPECT_EQ(WhatOf<std::logic_error>([&] { DescribeKey(L"Software", unknown, KEY_WOW64_64KEY); }),
              "Unknown predefined key");
    EXPECT_EQ(WhatOf<std::logic_error>([&] { OpenKey(L"Software", unknown, KEY_READ, KEY_WOW64_64KEY); }),
              "Unknown predefined key");
    const RegistryKeyPath path(L"Software", KEY_WOW64_64KEY, static_cast<PredefinedKey>(0xFFFFFFFF));
    EXPECT_EQ(WhatOf<std::logic_error>([&] { OpenKeyIfExists(path, KEY_READ); }), "Unknown predefined key");
}

TEST(RegistryErrorCategory, NameAndMessages)
{
    const std::error_category& category = GetErrorCategory();
    EXPECT_STREQ(category.name(), "Registry error");
    EXPECT_EQ(category.message(1), "Invalid registry value data length");
    EXPECT_EQ(category.message(2), "Invalid registry value data type");
    EXPECT_EQ(category.message(0), "Registry error: 0");
    EXPECT_EQ(category.message(1629), "Registry error: 1629");
    EXPECT_EQ(&make_error_code(InvalidValueDataType).category(), &category);
    EXPECT_EQ(std::error_code(InvalidValueDataLength), kInvalidLength);
}

TEST_F(WinlibRegistry, MissingKeysAreNullForOpenKeyIfExists)
{
    const std::wstring absent = path + L"\\absent";
    EXPECT_FALSE(OpenKeyIfExists(absent, CurrentUser, KEY_READ, KEY_WOW64_64KEY));
    EXPECT_FALSE(OpenKeyIfExists(absent + L"\\deeper", CurrentUser, KEY_READ, KEY_WOW64_64KEY));
    EXPECT_FALSE(OpenKeyIfExists(RegistryKeyPath(absent, KEY_WOW64_32KEY, CurrentUser), KEY_READ));
    EXPECT_TRUE(OpenKeyIfExists(RegistryKeyPath(path, KEY_WOW64_64KEY, CurrentUser), KEY_READ));
}

TEST_F(WinlibRegistry, OpenKeyOfAMissingKeyNamesOperationKeyAndSystemText)
{
    const std::wstring unique = path.substr(path.rfind(L'\\') + 1);
    const struct {
        std::wstring path;
        PredefinedKey root;
        DWORD view;
        std::string description;
    } cases[] = {
        {path + L"\\absent", CurrentUser, KEY_WOW64_64KEY, "HKCU\\" + WideToUtf8(path) + "\\absent"},
        {path + L"\\absent", CurrentUser, KEY_WOW64_32KEY, "WOW6432Node:HKCU\\" + WideToUtf8(path) + "\\absent"},
        {L"SOFTWARE\\HalvexTests\\" + unique, LocalMachine, KEY_WOW64_64KEY,
         "HKLM\\SOFTWARE\\HalvexTests\\" + WideToUtf8(unique)},
    };
    for (const auto& c : cases) {
        try {
            OpenKey(c.path, c.root, KEY_READ, c.view);
            ADD_FAILURE() << c.description << ": no exception";
        } catch (const std::system_error& e) {
            EXPECT_EQ(std::string(e.what()), "OpenKey(" + c.description + ") failed: " + SystemText(2));
            EXPECT_EQ(e.code().value(), ERROR_FILE_NOT_FOUND);
            EXPECT_EQ(&e.code().category(), &halvlib::string::GetErrorCategory());
        }
    }
}

TEST_F(WinlibRegistry, KeyMadeInThe32BitViewOpensAndReadsThere)
{
    HKEY made = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (path + L"\\View32").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &made, nullptr),
              ERROR_SUCCESS);
    const auto text = Utf16Bytes(L"thirty-two", true);
    EXPECT_EQ(RegSetValueExW(made, L"Name", 0, REG_SZ, text.data(), static_cast<DWORD>(text.size())), ERROR_SUCCESS);
    RegCloseKey(made);

    const KeyHandle opened = OpenKeyIfExists(RegistryKeyPath(path + L"\\View32", KEY_WOW64_32KEY, CurrentUser), KEY_READ);
    ASSERT_TRUE(opened);
    EXPECT_EQ(GetOptionalStringValue(opened.get(), L"Name"), L"thirty-two");
    EXPECT_TRUE(OpenKey(path + L"\\View32", CurrentUser, KEY_READ, KEY_WOW64_32KEY));
}

// A name part longer than the registry allows is refused, which is not absence.
TEST_F(WinlibRegistry, OpenKeyIfExistsThrowsForAFailureOtherThanAbsence)
{
    const std::wstring invalid = path + L"\\" + std::wstring(300, L'n');
    const struct {
        std::function<KeyHandle()> open;
        std::string description;
    } cases[] = {
        {[&] { return OpenKeyIfExists(invalid, CurrentUser, KEY_READ, KEY_WOW64_64KEY); }, "HKCU\\" + WideToUtf8(invalid)},
        {[&] { return OpenKeyIfExists(RegistryKeyPath(invalid, KEY_WOW64_32KEY, CurrentUser), KEY_READ); },
         "WOW6432Node:HKCU\\" + WideToUtf8(invalid)},
    };
    for (const auto& c : cases) {
        try {
            c.open();
            ADD_FAILURE() << c.description << ": no exception";
        } catch (const std::system_error& e) {
            const int code = e.code().value();
            EXPECT_NE(code, ERROR_FILE_NOT_FOUND);
            EXPECT_NE(code, ERROR_PATH_NOT_FOUND);
            EXPECT_NE(code, ERROR_SUCCESS);
            EXPECT_EQ(&e.code().category(), &halvlib::string::GetErrorCategory());
            EXPECT_EQ(std::string(e.what()), "OpenKeyIfExists(" + c.description + ") failed: " + SystemText(code));
        }
    }
}

TEST_F(WinlibRegistry, StringValuesByTypeAndShape)
{
    SetEnvironmentVariableW(L"HALVEX_TEST_LONG", std::wstring(100, L'y').c_str());
    SetEnvironmentVariableW(L"HALVEX_TEST_SHORT", L"C:\\Expanded");
    const std::wstring longText(300, L'x');
    const std::wstring expandedLong = L"<" + std::wstring(100, L'y') + L">";
    const struct {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
        std::optional<std::wstring> text;
        std::error_code error;
    } cases[] = {
        {L"terminated", REG_SZ, Utf16Bytes(L"Halvex Vesk", true), L"Halvex Vesk", {}},
        {L"unterminated", REG_SZ, Utf16Bytes(L"Halvex Vesk", false), L"Halvex Vesk", {}},
        {L"empty", REG_SZ, {}, L"", {}},
        {L"nulOnly", REG_SZ, Utf16Bytes(L"", true), L"", {}},
        {L"embeddedNul", REG_SZ, Utf16Bytes(std::wstring(L"ab\0cd", 5), true), L"ab", {}},
        {L"fills64Bytes", REG_SZ, Utf16Bytes(std::wstring(31, L'f'), true), std::wstring(31, L'f'), {}},
        {L"unterminated64Bytes", REG_SZ, Utf16Bytes(std::wstring(32, L'u'), false), std::wstring(32, L'u'), {}},
        {L"66Bytes", REG_SZ, Utf16Bytes(std::wstring(32, L's'), true), std::wstring(32, L's'), {}},
        {L"long", REG_SZ, Utf16Bytes(longText, true), longText, {}},
        {L"plain", REG_SZ, Utf16Bytes(L"%HALVEX_TEST_SHORT%\\Halvex", true), L"%HALVEX_TEST_SHORT%\\Halvex", {}},
        {L"expand", REG_EXPAND_SZ, Utf16Bytes(L"%HALVEX_TEST_SHORT%\\Halvex", true), L"C:\\Expanded\\Halvex", {}},
        {L"expandPast64", REG_EXPAND_SZ, Utf16Bytes(L"<%HALVEX_TEST_LONG%>", true), expandedLong, {}},
        {L"expandUnterminated", REG_EXPAND_SZ, Utf16Bytes(L"<%HALVEX_TEST_LONG%>", false), expandedLong, {}},
        {L"expandLongSource", REG_EXPAND_SZ, Utf16Bytes(longText + L"%HALVEX_TEST_SHORT%", true),
         longText + L"C:\\Expanded", {}},
        {L"expandUnknown", REG_EXPAND_SZ, Utf16Bytes(L"%HALVEX_TEST_NOT_SET%", true), L"%HALVEX_TEST_NOT_SET%", {}},
        {L"expandEmpty", REG_EXPAND_SZ, {}, L"", {}},
        {L"threeBytes", REG_SZ, {'a', 0, 'b'}, std::nullopt, kInvalidLength},
        {L"oneByte", REG_SZ, {'a'}, std::nullopt, kInvalidLength},
        {L"oddLong", REG_SZ, std::vector<BYTE>(101, 'a'), std::nullopt, kInvalidLength},
        {L"oddExpand", REG_EXPAND_SZ, {'%', 0, 'a', 0, '%'}, std::nullopt, kInvalidLength},
        {L"binary", REG_BINARY, Utf16Bytes(L"text", true), std::nullopt, kDataTypeMismatch},
        {L"multi", REG_MULTI_SZ, Utf16Bytes(std::wstring(L"a\0b\0", 4), true), std::nullopt, kDataTypeMismatch},
        {L"dword", REG_DWORD, DwordBytes(7, 4), std::nullopt, kDataTypeMismatch},
    };
    for (const auto& c : cases)
        Set(c.name, c.type, c.data);
    for (const auto& c : cases) {
        SCOPED_TRACE(halvlib::string::ToUtf8(c.name));
        std::error_code error = make_error_code(InvalidValueDataType);  // must be replaced or cleared
        EXPECT_EQ(QueryOptionalStringValue(c.name, key, error), c.text);
        EXPECT_EQ(error, c.error) << error.message();
    }
}

TEST_F(WinlibRegistry, AbsentStringValueIsNoStringAndNoError)
{
    std::error_code error = kDataTypeMismatch;
    EXPECT_EQ(QueryOptionalStringValue(L"absent", key, error), std::nullopt);
    EXPECT_FALSE(error) << error.message();
    EXPECT_EQ(GetOptionalStringValue(key, L"absent"), std::nullopt);
}

TEST_F(WinlibRegistry, StringReadFromAKeyWithoutReadAccessKeepsTheError)
{
    HKEY writeOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &writeOnly), ERROR_SUCCESS);
    Set(L"present", REG_SZ, Utf16Bytes(L"x", true));
    std::error_code error;
    EXPECT_EQ(QueryOptionalStringValue(L"present", writeOnly, error), std::nullopt);
    RegCloseKey(writeOnly);
    EXPECT_EQ(error, std::error_code(ERROR_ACCESS_DENIED, std::system_category())) << error.message();
}

TEST_F(WinlibRegistry, GetOptionalStringValueThrowsWithTheValueName)
{
    Set(L"threeBytes", REG_SZ, {'a', 0, 'b'});
    Set(L"binary \u00fc", REG_BINARY, {1, 2, 3, 4});
    Set(L"text", REG_SZ, Utf16Bytes(L"value", true));

    try {
        GetOptionalStringValue(key, L"threeBytes");
        ADD_FAILURE() << "no exception";
    } catch (const std::system_error& e) {
        EXPECT_STREQ(e.what(), "GetOptionalStringValue(threeBytes) failed: Invalid registry value data length");
        EXPECT_EQ(e.code(), kInvalidLength);
    }
    try {
        GetOptionalStringValue(key, L"binary \u00fc");
        ADD_FAILURE() << "no exception";
    } catch (const std::system_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "GetOptionalStringValue(binary \xc3\xbc) failed: " + SystemText(ERROR_DATATYPE_MISMATCH));
        EXPECT_EQ(e.code().value(), ERROR_DATATYPE_MISMATCH);
        EXPECT_EQ(&e.code().category(), &halvlib::string::GetErrorCategory());
    }
    EXPECT_EQ(GetOptionalStringValue(key, L"text"), L"value");
}

TEST_F(WinlibRegistry, DwordValuesByTypeAndSize)
{
    const std::error_code absent(ERROR_FILE_NOT_FOUND, std::system_category());
    const struct {
        std::wstring name;
        DWORD type;
        std::optional<std::vector<BYTE>> data;  // none: the value is not written
        DWORD value;
        std::error_code error;
    } cases[] = {
        {L"dword", REG_DWORD, DwordBytes(0xDEADBEEF, 4), 0xDEADBEEF, {}},
        {L"zero", REG_DWORD, DwordBytes(0, 4), 0, {}},
        {L"twoBytes", REG_DWORD, DwordBytes(0x1234, 2), 0, kInvalidLength},
        {L"eightBytes", REG_DWORD, DwordBytes(0x1234, 8), 0, kInvalidLength},
        {L"hundredBytes", REG_DWORD, DwordBytes(0x1234, 100), 0, kInvalidLength},
        {L"noBytes", REG_DWORD, std::vector<BYTE>{}, 0, kInvalidLength},
        {L"string", REG_SZ, Utf16Bytes(L"7", true), 0, kDataTypeMismatch},
        {L"qword", REG_QWORD, DwordBytes(7, 8), 0, kDataTypeMismatch},
        {L"bigEndian", REG_DWORD_BIG_ENDIAN, DwordBytes(7, 4), 0, kDataTypeMismatch},
        {L"binary", REG_BINARY, DwordBytes(7, 4), 0, kDataTypeMismatch},
        {L"absent", REG_DWORD, std::nullopt, 0, absent},
    };
    for (const auto& c : cases) {
        if (c.data)
            Set(c.name, c.type, *c.data);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(halvlib::string::ToUtf8(c.name));
        std::error_code error = make_error_code(InvalidValueDataType);  // must be replaced or cleared
        EXPECT_EQ(QueryDwordValue(c.name, key, error), c.value);
        EXPECT_EQ(error, c.error) << error.message();
    }
}

}  // namespace
