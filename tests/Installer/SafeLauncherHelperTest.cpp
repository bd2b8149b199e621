#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "Installer/SafeLauncherHelper.h"

using S1::SafeLauncherHelper;

namespace {

class SafeLauncher : public ::testing::Test {
protected:
    void TearDown() override { SetEnvironmentVariableW(SafeLauncherHelper::kVariable, nullptr); }

    std::string ErrorFor(const wchar_t* value)
    {
        SetEnvironmentVariableW(SafeLauncherHelper::kVariable, value);
        try {
            SafeLauncherHelper().GetLauncherPath();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(SafeLauncher, ReadsTheVariable)
{
    SetEnvironmentVariableW(SafeLauncherHelper::kVariable, L"C:\\Users\\me\\Downloads\\HalvexInstall.exe");
    EXPECT_EQ(SafeLauncherHelper().GetLauncherPath(), L"C:\\Users\\me\\Downloads\\HalvexInstall.exe");
}

TEST_F(SafeLauncher, LengthLimit)
{
    const std::wstring longest(259, L'a');
    SetEnvironmentVariableW(SafeLauncherHelper::kVariable, longest.c_str());
    EXPECT_EQ(SafeLauncherHelper().GetLauncherPath(), longest);
    EXPECT_EQ(ErrorFor(std::wstring(260, L'a').c_str()), "Failed to get SafeLauncher path (too long)");
    EXPECT_EQ(ErrorFor(std::wstring(4000, L'a').c_str()), "Failed to get SafeLauncher path (too long)");
}

TEST_F(SafeLauncher, MissingOrEmpty)
{
    EXPECT_EQ(ErrorFor(nullptr), "Failed to get SafeLauncher path");
    EXPECT_EQ(ErrorFor(L""), "Failed to get SafeLauncher path");
}

}  // namespace
