#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "halvlib/String.h"

namespace test {

// A key of this test's own under HKEY_CURRENT_USER\Software\HalvexTests, deleted at the end.
class TestRegistryKey : public ::testing::Test {
protected:
    explicit TestRegistryKey(std::wstring prefix) : prefix(std::move(prefix)) {}

    void SetUp() override
    {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        path = L"Software\\HalvexTests\\" + prefix + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring((ULONGLONG(now.dwHighDateTime) << 32) | now.dwLowDateTime);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(key);
        EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
    }

    void Set(const std::wstring& name, DWORD type, const std::vector<BYTE>& bytes)
    {
        ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS)
            << halvlib::string::ToUtf8(name);
    }

    std::wstring prefix;
    std::wstring path;
    HKEY key = nullptr;
};

}  // namespace test
