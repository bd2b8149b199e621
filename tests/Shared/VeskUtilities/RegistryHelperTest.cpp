#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Shared/VeskUtilities/RegistryHelper.h"
#include "Utilities/Raii.h"

using Vesk::Utilities::Registry::RegistryHelper;
using Vesk::Utilities::Registry::RegistryValue;

namespace {

REGSAM ViewFlag(bool use64)
{
    return use64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view)
{
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void DeleteTree(HKEY root, const std::wstring& parent, const std::wstring& name, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, parent.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return;
    const KeyGuard guard(key);
    RegDeleteTreeW(key, name.c_str());
    RegDeleteKeyExW(key, name.c_str(), view, 0);
}

// Full control of the key itself, in the form Wine keeps or the one Windows maps it to.
bool GrantsUsersFullControl(const std::wstring& dacl)
{
    return dacl.find(L"(A;;GA;;;BU)") != std::wstring::npos || dacl.find(L"(A;;KA;;;BU)") != std::wstring::npos;
}

// Keys of this test's own below HKCU and HKLM "Software\HalvexTests", in both registry views,
// deleted at the end. HKLM is where the two views differ; HKCU\Software is one key in both.
class RegistryService : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int counter = 0;
        name = L"Services" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
        path = std::wstring(kParent) + L"\\" + name;
        TearDown();
    }
    void TearDown() override
    {
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                DeleteTree(root, kParent, name, view);
        }
    }

    void SetRaw(HKEY root, const std::wstring& valueName, DWORD type, const void* data, DWORD bytes,
                REGSAM view = KEY_WOW64_32KEY)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const KeyGuard guard(key);
        ASSERT_EQ(RegSetValueExW(key, valueName.c_str(), 0, type, static_cast<const BYTE*>(data), bytes),
                  ERROR_SUCCESS);
    }

    void SetRaw(HKEY root, const std::wstring& valueName, DWORD type, const std::wstring& data,
                REGSAM view = KEY_WOW64_32KEY)
    {
        SetRaw(root, valueName, type, data.data(), static_cast<DWORD>(data.size() * sizeof(wchar_t)), view);
    }

    // The value's bytes as they are stored, in the 32-bit view.
    std::optional<std::wstring> RawData(HKEY root, const std::wstring& valueName, DWORD* type = nullptr)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
            return std::nullopt;
        const KeyGuard guard(key);
        DWORD bytes = 0;
        if (RegQueryValueExW(key, valueName.c_str(), nullptr, type, nullptr, &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring data(bytes / sizeof(wchar_t), L'\0');
        EXPECT_EQ(RegQueryValueExW(key, valueName.c_str(), nullptr, type, reinterpret_cast<BYTE*>(data.data()), &bytes),
                  ERROR_SUCCESS);
        return data;
    }

    // The DACL in SDDL form.
    static std::wstring Dacl(const std::wstring& keyPath)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, READ_CONTROL | KEY_WOW64_32KEY, &key),
                  ERROR_SUCCESS);
        const KeyGuard guard(key);
        DWORD size = 0;
        RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
        std::vector<BYTE> descriptor(size);
        EXPECT_EQ(RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size), ERROR_SUCCESS);
        wchar_t* text = nullptr;
        EXPECT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                                         DACL_SECURITY_INFORMATION, &text, nullptr));
        const LocalMemoryGuard textGuard(text);
        return text ? text : L"";
    }

    static constexpr const wchar_t* kParent = L"Software\\HalvexTests";
    std::wstring name;
    std::wstring path;
    RegistryHelper registry;
};

TEST_F(RegistryService, ViewFlagChoosesTheView)
{
    for (const bool use64 : {false, true}) {
        SCOPED_TRACE(use64);
        const HKEY root = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(registry.WriteDword(path, L"number", 7, use64, root));
        ASSERT_TRUE(registry.WriteString(path, L"text", L"seven", use64, root));
        EXPECT_TRUE(KeyExists(root, path, ViewFlag(use64)));
        EXPECT_FALSE(KeyExists(root, path, ViewFlag(!use64)));

        EXPECT_EQ(registry.ReadDword(path, L"number", use64, root), 7u);
        EXPECT_EQ(registry.ReadDword(path, L"number", !use64, root), std::nullopt);
        EXPECT_EQ(registry.ReadString(path, L"text", use64, root), L"seven");
        EXPECT_EQ(registry.ReadString(path, L"text", !use64, root), std::nullopt);
        EXPECT_EQ(registry.ReadValue(path, L"number", use64, root), RegistryValue(DWORD{7}));
        EXPECT_EQ(registry.ReadValue(path, L"number", !use64, root), std::nullopt);

        // Deleting in the other view finds nothing there and leaves this one alone.
        ASSERT_TRUE(registry.CreateKey(path + L"\\sub", use64, false, root));
        EXPECT_TRUE(registry.DeleteValue(path, L"number", !use64));
        EXPECT_TRUE(registry.DeleteKey(path, L"sub", !use64, root));
        EXPECT_EQ(registry.ReadDword(path, L"number", use64, root), 7u);
        EXPECT_TRUE(KeyExists(root, path + L"\\sub", ViewFlag(use64)));
        EXPECT_TRUE(registry.DeleteValue(path, L"number", use64));
        EXPECT_EQ(registry.ReadDword(path, L"number", use64, root), std::nullopt);
        EXPECT_TRUE(registry.DeleteKey(kParent, name, use64, root));
        EXPECT_FALSE(KeyExists(root, path, ViewFlag(use64)));
    }
}

TEST_F(RegistryService, ListsAndMultiStringsKeepToThe32BitView)
{
    const HKEY root = HKEY_LOCAL_MACHINE;
    const DWORD one = 1;
    SetRaw(root, L"in32", REG_DWORD, &one, sizeof(one), KEY_WOW64_32KEY);
    SetRaw(root, L"in64", REG_DWORD, &one, sizeof(one), KEY_WOW64_64KEY);
    ASSERT_TRUE(registry.CreateKey(path + L"\\sub32", false, false, root));
    ASSERT_TRUE(registry.CreateKey(path + L"\\sub64", true, false, root));

    EXPECT_EQ(registry.ValueNames(path, root), std::vector<std::wstring>{L"in32"});
    EXPECT_EQ(registry.SubkeyNames(path, root), std::vector<std::wstring>{L"sub32"});

    ASSERT_TRUE(registry.WriteMultiString(path, L"list", {L"a"}, root));
    ASSERT_TRUE(registry.AddToMultiString(path, L"list", L"b", root));
    EXPECT_EQ(RawData(root, L"list"), std::wstring(L"a\0b\0\0", 5));
    EXPECT_EQ(registry.ReadMultiString(path, L"list", root), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_TRUE(registry.MultiStringContains(path, L"list", L"b", root));
    HKEY key64 = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key64), ERROR_SUCCESS);
    const KeyGuard guard(key64);
    EXPECT_EQ(RegQueryValueExW(key64, L"list", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryService, CreateAndDeleteTakeWhatIsThereOrMissing)
{
    const HKEY root = HKEY_CURRENT_USER;
    EXPECT_TRUE(registry.CreateKey(path, false, false, root));
    EXPECT_TRUE(registry.CreateKey(path, false, false, root));
    ASSERT_TRUE(registry.WriteString(path + L"\\a\\b\\c", L"deep", L"x", false, root));

    EXPECT_TRUE(registry.DeleteKey(path, L"missing", false, root));
    EXPECT_TRUE(registry.DeleteKey(path + L"\\missing", L"missing", false, root));
    EXPECT_TRUE(registry.DeleteValue(path, L"missing", false));
    EXPECT_TRUE(registry.DeleteValue(path + L"\\missing", L"missing", false));

    // With everything below it.
    EXPECT_TRUE(registry.DeleteKey(path, L"a", false, root));
    EXPECT_FALSE(KeyExists(root, path + L"\\a", KEY_WOW64_32KEY));
    EXPECT_TRUE(KeyExists(root, path, KEY_WOW64_32KEY));
}

TEST_F(RegistryService, AVolatileKeyTakesOnlyVolatileSubkeys)
{
    const HKEY root = HKEY_CURRENT_USER;
    // Keys made on the way take the option too: the parents must exist first.
    ASSERT_TRUE(registry.CreateKey(path, false, false, root));
    ASSERT_TRUE(registry.CreateKey(path + L"\\volatile", false, true, root));
    ASSERT_TRUE(registry.CreateKey(path + L"\\lasting", false, false, root));
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, (path + L"\\volatile\\child").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE);
    ASSERT_EQ(RegCreateKeyExW(root, (path + L"\\lasting\\child").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryService, ValuesOfEachType)
{
    const HKEY root = HKEY_CURRENT_USER;
    const DWORD number = 0xFEEDF00D;
    const ULONGLONG wide = 5;
    const std::wstring longText(5000, L'w');
    SetRaw(root, L"dword", REG_DWORD, &number, sizeof(number));
    SetRaw(root, L"string", REG_SZ, std::wstring(L"text", 5));
    SetRaw(root, L"unterminated", REG_SZ, L"open");
    SetRaw(root, L"embeddedNul", REG_SZ, std::wstring(L"first\0second", 13));
    SetRaw(root, L"long", REG_SZ, longText + L'\0');
    SetRaw(root, L"expand", REG_EXPAND_SZ, std::wstring(L"%SystemRoot%\\x", 15));
    SetRaw(root, L"multi", REG_MULTI_SZ, std::wstring(L"a\0b\0", 5));
    SetRaw(root, L"binary4", REG_BINARY, &number, sizeof(number));
    SetRaw(root, L"qword", REG_QWORD, &wide, sizeof(wide));

    EXPECT_EQ(registry.ReadDword(path, L"dword", false, root), number);
    for (const wchar_t* other : {L"string", L"binary4", L"qword", L"missing"})
        EXPECT_EQ(registry.ReadDword(path, other, false, root), std::nullopt) << other;

    EXPECT_EQ(registry.ReadString(path, L"string", false, root), L"text");
    EXPECT_EQ(registry.ReadString(path, L"unterminated", false, root), L"open");
    EXPECT_EQ(registry.ReadString(path, L"embeddedNul", false, root), L"first");
    EXPECT_EQ(registry.ReadString(path, L"long", false, root), longText);
    EXPECT_EQ(registry.ReadString(path, L"expand", false, root), L"%SystemRoot%\\x");
    for (const wchar_t* other : {L"dword", L"multi", L"binary4", L"missing"})
        EXPECT_EQ(registry.ReadString(path, other, false, root), std::nullopt) << other;

    EXPECT_EQ(registry.ReadValue(path, L"dword", false, root), RegistryValue(number));
    EXPECT_EQ(registry.ReadValue(path, L"string", false, root), RegistryValue(std::wstring(L"text")));
    for (const wchar_t* other : {L"expand", L"multi", L"binary4", L"qword", L"missing"})
        EXPECT_EQ(registry.ReadValue(path, other, false, root), std::nullopt) << other;
    EXPECT_EQ(registry.ReadValue(path + L"\\missing", L"dword", false, root), std::nullopt);

    ASSERT_TRUE(registry.WriteDword(path, L"written", 42, false, root));
    DWORD type = REG_NONE;
    EXPECT_EQ(RawData(root, L"written", &type), std::wstring(L"\x2a\0", 2));
    EXPECT_EQ(type, DWORD{REG_DWORD});
    ASSERT_TRUE(registry.WriteString(path, L"writtenText", L"", false, root));
    EXPECT_EQ(RawData(root, L"writtenText", &type), std::wstring(1, L'\0'));
    EXPECT_EQ(type, DWORD{REG_SZ});
}

TEST_F(RegistryService, MultiStringsHoldNoEmptyElements)
{
    const HKEY root = HKEY_CURRENT_USER;
    struct Case {
        std::vector<std::wstring> written;
        std::wstring data;
        std::vector<std::wstring> read;
    };
    const std::vector<Case> cases = {
        {{L"a", L"", L"b"}, std::wstring(L"a\0b\0\0", 5), {L"a", L"b"}},
        {{L"", L"only"}, std::wstring(L"only\0\0", 6), {L"only"}},
        {{L"x", L"yz", L""}, std::wstring(L"x\0yz\0\0", 6), {L"x", L"yz"}},
        {{}, std::wstring(1, L'\0'), {}},
        {{L""}, std::wstring(1, L'\0'), {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(registry.WriteMultiString(path, L"list", c.written, root));
        EXPECT_EQ(RawData(root, L"list"), c.data);
        EXPECT_EQ(registry.ReadMultiString(path, L"list", root), c.read);
    }

    // Written by others: empty elements inside, no closing NULs, an odd byte.
    const std::map<std::wstring, std::vector<std::wstring>> foreign = {
        {std::wstring(L"a\0\0b\0\0", 6), {L"a", L"b"}},
        {std::wstring(L"a\0b", 3), {L"a", L"b"}},
        {std::wstring(L"\0\0\0", 3), {}},
        {L"", {}},
    };
    for (const auto& [data, read] : foreign) {
        SetRaw(root, L"foreign", REG_MULTI_SZ, data);
        EXPECT_EQ(registry.ReadMultiString(path, L"foreign", root), read);
    }
    SetRaw(root, L"odd", REG_MULTI_SZ, "a\0\0\0b", 5);
    EXPECT_EQ(registry.ReadMultiString(path, L"odd", root), (std::vector<std::wstring>{L"a", L"b"}));

    // A NUL inside an element would come back as two.
    ASSERT_TRUE(registry.WriteMultiString(path, L"list", {L"kept"}, root));
    EXPECT_FALSE(registry.WriteMultiString(path, L"list", {std::wstring(L"x\0y", 3)}, root));
    EXPECT_FALSE(registry.AddToMultiString(path, L"list", std::wstring(L"x\0y", 3), root));
    EXPECT_EQ(registry.ReadMultiString(path, L"list", root), std::vector<std::wstring>{L"kept"});
}

TEST_F(RegistryService, MultiStringsAreReadOnlyFromMultiStringValues)
{
    const HKEY root = HKEY_CURRENT_USER;
    SetRaw(root, L"text", REG_SZ, std::wstring(L"a\0b\0\0", 5));
    SetRaw(root, L"expand", REG_EXPAND_SZ, std::wstring(L"a\0\0", 3));
    SetRaw(root, L"binary", REG_BINARY, std::wstring(L"a\0\0", 3));
    for (const wchar_t* other : {L"text", L"expand", L"binary", L"missing"}) {
        EXPECT_EQ(registry.ReadMultiString(path, other, root), std::nullopt) << other;
        EXPECT_FALSE(registry.MultiStringContains(path, other, L"a", root)) << other;
    }
    EXPECT_EQ(registry.ReadMultiString(path + L"\\missing", L"list", root), std::nullopt);

    // Adding to a value of another type would replace it.
    EXPECT_FALSE(registry.AddToMultiString(path, L"text", L"c", root));
    DWORD type = REG_NONE;
    EXPECT_EQ(RawData(root, L"text", &type), std::wstring(L"a\0b\0\0", 5));
    EXPECT_EQ(type, DWORD{REG_SZ});
}

TEST_F(RegistryService, AddToMultiStringStartsMissingListsAndAppends)
{
    const HKEY root = HKEY_CURRENT_USER;
    EXPECT_TRUE(registry.AddToMultiString(path + L"\\new", L"list", L"first", root));
    EXPECT_TRUE(registry.AddToMultiString(path + L"\\new", L"list", L"second", root));
    EXPECT_TRUE(registry.AddToMultiString(path + L"\\new", L"list", L"first", root));
    EXPECT_EQ(registry.ReadMultiString(path + L"\\new", L"list", root),
              (std::vector<std::wstring>{L"first", L"second", L"first"}));

    struct Case {
        const wchar_t* value;
        bool contained;
    };
    for (const Case& c : {Case{L"second", true}, Case{L"secon", false}, Case{L"seconds", false},
                          Case{L"SECOND", false}, Case{L"", false}}) {
        EXPECT_EQ(registry.MultiStringContains(path + L"\\new", L"list", c.value, root), c.contained) << c.value;
    }
}

TEST_F(RegistryService, ListsEveryValueAndSubkey)
{
    const HKEY root = HKEY_CURRENT_USER;
    std::vector<std::wstring> values;
    std::vector<std::wstring> subkeys;
    for (int i = 0; i < 40; ++i) {
        values.push_back(L"value" + std::to_wstring(i));
        subkeys.push_back(L"key" + std::to_wstring(i));
    }
    values.push_back(std::wstring(300, L'v'));
    subkeys.push_back(std::wstring(255, L'k'));
    for (const std::wstring& value : values)
        ASSERT_TRUE(registry.WriteDword(path, value, 1, false, root));
    for (const std::wstring& subkey : subkeys)
        ASSERT_TRUE(registry.CreateKey(path + L"\\" + subkey, false, false, root));

    std::vector<std::wstring> listedValues = registry.ValueNames(path, root);
    std::vector<std::wstring> listedSubkeys = registry.SubkeyNames(path, root);
    std::sort(values.begin(), values.end());
    std::sort(subkeys.begin(), subkeys.end());
    std::sort(listedValues.begin(), listedValues.end());
    std::sort(listedSubkeys.begin(), listedSubkeys.end());
    EXPECT_EQ(listedValues, values);
    EXPECT_EQ(listedSubkeys, subkeys);

    EXPECT_TRUE(registry.ValueNames(path + L"\\missing", root).empty());
    EXPECT_TRUE(registry.SubkeyNames(path + L"\\missing", root).empty());
}

// An enumeration that answers as the system does: too small a buffer gives ERROR_MORE_DATA.
struct FakeEnumeration {
    std::vector<std::wstring> names;
    LSTATUS failureAtEnd = ERROR_NO_MORE_ITEMS;
    std::vector<DWORD> capacities;

    LSTATUS operator()(DWORD index, wchar_t* name, DWORD* length)
    {
        capacities.push_back(*length);
        if (index >= names.size())
            return failureAtEnd;
        const std::wstring& next = names[index];
        if (*length < next.size() + 1)
            return ERROR_MORE_DATA;
        std::copy(next.begin(), next.end(), name);
        name[next.size()] = L'\0';
        *length = static_cast<DWORD>(next.size());
        return ERROR_SUCCESS;
    }
};

TEST(RegistryEnumeration, ANameLongerThanTheBufferGrowsIt)
{
    // Names added after the longest length was asked, such as by another process.
    FakeEnumeration fake;
    fake.names = {L"short", std::wstring(40, L'n'), L"after", std::wstring(1000, L'm'), L"last"};
    const auto names =
        RegistryHelper::EnumerateNames([&](DWORD index, wchar_t* name, DWORD* length) { return fake(index, name, length); }, 5);
    EXPECT_EQ(names, fake.names);
    EXPECT_EQ(fake.capacities.front(), 6u);
}

TEST(RegistryEnumeration, OnlyTheEndOrAFailureEndsTheList)
{
    FakeEnumeration fake;
    fake.names = {L"a", L"b"};
    fake.failureAtEnd = ERROR_ACCESS_DENIED;
    EXPECT_EQ(RegistryHelper::EnumerateNames(
                  [&](DWORD index, wchar_t* name, DWORD* length) { return fake(index, name, length); }, 1),
              (std::vector<std::wstring>{L"a", L"b"}));

    // A name that never fits ends the list instead of growing the buffer without end.
    int calls = 0;
    const auto names = RegistryHelper::EnumerateNames(
        [&](DWORD, wchar_t*, DWORD*) { return ++calls < 1000 ? ERROR_MORE_DATA : ERROR_NO_MORE_ITEMS; }, 0);
    EXPECT_TRUE(names.empty());
    EXPECT_LT(calls, 1000);
}

TEST_F(RegistryService, ANewSharedKeyGivesUsersFullControlOfItselfOnly)
{
    ASSERT_TRUE(registry.CreateSharedKey(path));
    const std::wstring dacl = Dacl(path);
    EXPECT_TRUE(GrantsUsersFullControl(dacl)) << dacl;

    ASSERT_TRUE(registry.CreateKey(path + L"\\later", false, false, HKEY_LOCAL_MACHINE));
    const std::wstring subkeyDacl = Dacl(path + L"\\later");
    EXPECT_FALSE(GrantsUsersFullControl(subkeyDacl)) << subkeyDacl;
}

TEST_F(RegistryService, AnExistingSharedKeyKeepsItsSecurity)
{
    ASSERT_TRUE(registry.CreateKey(path, false, false, HKEY_LOCAL_MACHINE));
    const std::wstring before = Dacl(path);
    EXPECT_TRUE(registry.CreateSharedKey(path));
    EXPECT_EQ(Dacl(path), before);
    EXPECT_FALSE(GrantsUsersFullControl(before)) << before;
}

TEST_F(RegistryService, AFailedGrantLeavesNoKeyBehind)
{
    int calls = 0;
    RegistryHelper denied([&](HKEY, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR) {
        ++calls;
        return LSTATUS{ERROR_ACCESS_DENIED};
    });
    EXPECT_FALSE(denied.CreateSharedKey(path));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY));

    // So the next call makes the key again and grants the access.
    ASSERT_TRUE(registry.CreateSharedKey(path));
    const std::wstring dacl = Dacl(path);
    EXPECT_TRUE(GrantsUsersFullControl(dacl)) << dacl;
}

}  // namespace
