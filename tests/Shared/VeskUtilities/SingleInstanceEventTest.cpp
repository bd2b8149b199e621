#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>

#include "Shared/VeskUtilities/SingleInstanceEvent.h"
#include "support/Process.h"
#include "Utilities/Raii.h"

using namespace Vesk::Utilities;

namespace {

// The event name is kept from the first call of a process, so every call of this test program
// passes the same base name first; the process id keeps it apart from other test programs that
// run at the same time.
std::wstring TestBaseName()
{
    return L"HalvexTests_SingleInstance_" + std::to_wstring(GetCurrentProcessId());
}

std::wstring FullName(const std::wstring& baseName)
{
    return L"Global\\" + baseName + GetMachineSuffix();
}

// The caller owns the handle of an engaged result.
HandleGuard Own(const std::optional<HANDLE>& event)
{
    return HandleGuard(event.value_or(nullptr));
}

DWORD RunProbe(const std::wstring& baseName)
{
    return test::RunProcess(test::FromBuildPath(HALVEX_SINGLE_INSTANCE_PROBE_EXE), baseName).exitCode;
}

constexpr DWORD kProbeSole = 0;
constexpr DWORD kProbeAnotherRuns = 1;

TEST(FormatHexLine, LowercaseDigitsWithoutPaddingThenALineFeed)
{
    const struct {
        std::uint32_t value;
        std::wstring text;
    } cases[] = {
        {0, L"0\n"},
        {0x10, L"10\n"},
        {0xABCD, L"abcd\n"},
        {0x0000ABCD, L"abcd\n"},
        {0xFFFFFFFF, L"ffffffff\n"},
        {0x65C4818E, L"65c4818e\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatHexLine(c.value), c.text) << c.value;
}

TEST(MachineSuffix, TwoMaskedHalvesOfTheVolumeCreationTime)
{
    const struct {
        std::uint64_t time;
        std::wstring suffix;
    } cases[] = {
        // Unreadable: the fixed value stands in.
        {0, L"65c4818e\n12c88715\n"},
        {0x87AEACB68F3583DAULL, L"65c4818e\n12c88715\n"},
        {0x01D0000012345678ULL, L"f8c5542c\n94b62ba3\n"},
        // Halves that the masks cancel print without leading zeros, down to a lone 0.
        {0x95662BA3EAF1A999ULL, L"abcd\n0\n"},
        {0x95662BA3EAF10254ULL, L"0\n0\n"},
        {0xFFFFFFFFFFFFFFFFULL, L"150efdab\n6a99d45c\n"},
        {1, L"eaf10255\n95662ba3\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MachineSuffixFor(c.time), c.suffix) << std::hex << c.time;
}

TEST(MachineSuffix, ComesFromThisMachinesVolume)
{
    const std::wstring suffix = GetMachineSuffix();
    EXPECT_EQ(suffix, MachineSuffixFor(GetSystemVolumeCreationTime()));
    EXPECT_TRUE(std::regex_match(suffix, std::wregex(L"[0-9a-f]{1,8}\n[0-9a-f]{1,8}\n")));
    EXPECT_EQ(GetMachineSuffix(), suffix);
}

TEST(SingleInstanceEvent, IsAnUnsignalledManualResetEventUnderTheGlobalName)
{
    const HandleGuard event = Own(CreateSingleInstanceEvent(TestBaseName()));
    ASSERT_TRUE(event);

    // Another program finds it by the name it computes itself.
    const HandleGuard opened(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, FullName(TestBaseName()).c_str()));
    ASSERT_TRUE(opened) << GetLastError();
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // A signal from outside stays set until reset: every wait sees it.
    ASSERT_TRUE(SetEvent(opened.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
}

TEST(SingleInstanceEvent, GrantsEveryAccessToBuiltinUsersOnly)
{
    const HandleGuard event = Own(CreateSingleInstanceEvent(TestBaseName()));
    ASSERT_TRUE(event);

    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(event.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    const LocalMemoryGuard guard(descriptor);
    ASSERT_NE(dacl, nullptr);
    ASSERT_EQ(dacl->AceCount, 1);
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, &ace));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Header.AceFlags, 0);
    EXPECT_EQ(allowed->Mask, static_cast<DWORD>(EVENT_ALL_ACCESS));
    EXPECT_TRUE(IsWellKnownSid(const_cast<DWORD*>(&allowed->SidStart), WinBuiltinUsersSid));
}

TEST(SingleInstanceEvent, SecondCallFindsTheEventAndLetsItGo)
{
    HandleGuard first = Own(CreateSingleInstanceEvent(TestBaseName()));
    ASSERT_TRUE(first);
    EXPECT_FALSE(CreateSingleInstanceEvent(TestBaseName()).has_value());

    // The handle that came with the existing event was closed: once the holder lets go, the
    // event is gone and can be made anew.
    first.Reset();
    const HandleGuard again = Own(CreateSingleInstanceEvent(TestBaseName()));
    EXPECT_TRUE(again);
}

TEST(SingleInstanceEvent, SecondCallWithAnotherBaseNameUsesTheFirstName)
{
    const HandleGuard first = Own(CreateSingleInstanceEvent(TestBaseName()));
    ASSERT_TRUE(first);
    const std::wstring other = TestBaseName() + L"_other";
    EXPECT_FALSE(CreateSingleInstanceEvent(other).has_value());

    SetLastError(ERROR_SUCCESS);
    const HandleGuard otherEvent(OpenEventW(SYNCHRONIZE, FALSE, FullName(other).c_str()));
    EXPECT_FALSE(otherEvent);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(SingleInstanceEvent, ASecondProcessFindsItWhileHeldAndGetsItAfterwards)
{
    HandleGuard held = Own(CreateSingleInstanceEvent(TestBaseName()));
    ASSERT_TRUE(held);
    EXPECT_EQ(RunProbe(TestBaseName()), kProbeAnotherRuns);
    held.Reset();
    EXPECT_EQ(RunProbe(TestBaseName()), kProbeSole);
}

// Objects that keep the event from being made or opened: a failure, never the sole instance and
// never "another runs".
class SingleInstanceEventBlocked : public ::testing::Test {
protected:
    static std::string WhatOfCreate()
    {
        try {
            const std::optional<HANDLE> event = CreateSingleInstanceEvent(TestBaseName());
            if (!event)
                return "another instance";
            if (*event == nullptr)
                return "null handle";
            CloseHandle(*event);
            return "sole instance";
        } catch (const std::runtime_error& e) {
            return e.what();
        }
    }
};

TEST_F(SingleInstanceEventBlocked, NameTakenByAMutexIsAFailure)
{
    const HandleGuard mutex(CreateMutexW(nullptr, FALSE, FullName(TestBaseName()).c_str()));
    ASSERT_TRUE(mutex) << GetLastError();
    EXPECT_EQ(WhatOfCreate(), "CreateEventW failed: " + std::to_string(ERROR_INVALID_HANDLE));
}

TEST_F(SingleInstanceEventBlocked, EventThatDeniesAccessIsAFailure)
{
    // An empty DACL: no one may open the event.
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    alignas(DWORD) BYTE aclBuffer[sizeof(ACL)];
    auto* acl = reinterpret_cast<PACL>(aclBuffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    const HandleGuard locked(CreateEventW(&attributes, TRUE, FALSE, FullName(TestBaseName()).c_str()));
    ASSERT_TRUE(locked) << GetLastError();
    EXPECT_EQ(WhatOfCreate(), "CreateEventW failed: " + std::to_string(ERROR_ACCESS_DENIED));
}

}  // namespace
