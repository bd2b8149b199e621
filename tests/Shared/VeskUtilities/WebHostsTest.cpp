#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Shared/VeskUtilities/WebHosts.h"

using namespace Vesk::Utilities;

namespace {

TEST(WebHosts, EnvironmentsAndTheirDefault)
{
    EXPECT_EQ(GetWebHost(std::nullopt), GetWebHost(L"prod"));
    EXPECT_EQ(GetWebHost(L"Dev"), GetWebHost(L"DEV"));
    EXPECT_NE(GetWebHost(L"dev"), GetWebHost(L"prod"));
    EXPECT_EQ(GetWebHost(L"qa-misspelt"), GetWebHost(L"PROD"));
    EXPECT_EQ(GetWebHost(L""), GetWebHost(L"PROD"));
    EXPECT_EQ(GetServiceHost(L"qa"), L"s." + GetWebHost(L"QA"));
    EXPECT_EQ(GetAccountsUrl(L"SB"), L"https://accounts." + GetWebHost(L"sb"));
}

// The product's own key in the prefix's machine hive, made by the test and removed again. These
// tests share the key, so they hold one lock.
class InstalledVersion : public ::testing::Test {
protected:
    void SetUp() override
    {
        HKEY existing = nullptr;
        ASSERT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductPath, 0, KEY_READ | KEY_WOW64_32KEY, &existing),
                  ERROR_SUCCESS)
            << "the prefix already holds a product key";
    }
    void TearDown() override
    {
        for (HKEY key : keys)
            RegCloseKey(key);
        for (auto made = madeKeys.rbegin(); made != madeKeys.rend(); ++made)
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, made->path, made->view, 0);
    }

    HKEY MakeKey(REGSAM view = KEY_WOW64_32KEY)
    {
        HKEY parent = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParentPath, 0, KEY_READ | view, &parent) == ERROR_SUCCESS)
            RegCloseKey(parent);
        else
            madeKeys.push_back({kParentPath, view});
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductPath, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        madeKeys.push_back({kProductPath, view});
        keys.push_back(key);
        return key;
    }

    void SetVersion(HKEY key, DWORD type, const std::vector<BYTE>& bytes)
    {
        ASSERT_EQ(RegSetValueExW(key, L"Version", 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }

    static std::vector<BYTE> Text(const std::wstring& text)
    {
        const auto* begin = reinterpret_cast<const BYTE*>(text.c_str());
        return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
    }

    static constexpr const wchar_t* kParentPath = L"SOFTWARE\\Halvex";
    static constexpr const wchar_t* kProductPath = L"SOFTWARE\\Halvex\\Vesk";
    struct MadeKey {
        const wchar_t* path;
        REGSAM view;
    };
    std::vector<MadeKey> madeKeys;
    std::vector<HKEY> keys;
};

TEST_F(InstalledVersion, UnknownWithoutTheProductKey)
{
    EXPECT_EQ(GetInstalledVersion(), L"unknown");
}

TEST_F(InstalledVersion, ReadsTheVersionValue)
{
    SetVersion(MakeKey(), REG_SZ, Text(L"5.12.0.7"));
    EXPECT_EQ(GetInstalledVersion(), L"5.12.0.7");
}

TEST_F(InstalledVersion, UnknownWhenTheKeyHasNoVersion)
{
    MakeKey();
    EXPECT_EQ(GetInstalledVersion(), L"unknown");
}

// A value that cannot be read as text is no version, and never an exception.
TEST_F(InstalledVersion, UnknownForAVersionThatIsNoText)
{
    const struct {
        DWORD type;
        std::vector<BYTE> bytes;
    } cases[] = {
        {REG_DWORD, {5, 0, 0, 0}},
        {REG_BINARY, Text(L"5.12")},
        {REG_SZ, {'5', 0, '.'}},
    };
    const HKEY key = MakeKey();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        SetVersion(key, c.type, c.bytes);
        EXPECT_EQ(GetInstalledVersion(), L"unknown");
    }
}

// The product registers in the 32-bit view; a key in the 64-bit view is another product's. Only
// a 64-bit system has two views.
TEST_F(InstalledVersion, LooksOnlyInThe32BitView)
{
    BOOL wow64 = FALSE;
    if (sizeof(void*) == 4 && !(IsWow64Process(GetCurrentProcess(), &wow64) && wow64))
        GTEST_SKIP() << "one registry view only";
    SetVersion(MakeKey(KEY_WOW64_64KEY), REG_SZ, Text(L"64.0"));
    EXPECT_EQ(GetInstalledVersion(), L"unknown");
}

}  // namespace
