#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "Shared/VeskUtilities/SystemHelper.h"
#include "Utilities/Raii.h"

using Vesk::Utilities::System::SystemHelper;

namespace {

// Whether this process's token has the shutdown privilege enabled.
bool ShutdownPrivilegeEnabled()
{
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    const HandleGuard guard(token);
    LUID shutdown{};
    EXPECT_TRUE(LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &shutdown));
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    EXPECT_TRUE(GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size));
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& privilege = privileges->Privileges[i];
        if (privilege.Luid.LowPart == shutdown.LowPart && privilege.Luid.HighPart == shutdown.HighPart)
            return (privilege.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return false;
}

TEST(SystemHelperRestart, AsksForAPlannedRestartForAnInstallation)
{
    for (const BOOL answer : {TRUE, FALSE}) {
        int calls = 0;
        UINT flags = 0;
        DWORD reason = 0;
        bool privileged = false;
        // Never the real restart: under Wine it ends every process of the prefix.
        SystemHelper system([&](UINT f, DWORD r) {
            ++calls;
            flags = f;
            reason = r;
            privileged = ShutdownPrivilegeEnabled();
            return answer;
        });
        EXPECT_EQ(system.Restart(), answer == TRUE);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(flags, UINT{EWX_REBOOT});
        EXPECT_EQ(reason, 0x80040002u);
        EXPECT_TRUE(privileged);
    }
}

}  // namespace
