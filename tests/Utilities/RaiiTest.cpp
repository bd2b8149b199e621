#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <io.h>

#include <optional>

#include "support/TempFolder.h"
#include "support/TraceLogReset.h"
#include "Utilities/Raii.h"

namespace {

int releases = 0;
void CountRelease(int) { ++releases; }
using CountingGuard = StaticRaii<int, &CountRelease, -1>;

TEST(StaticRaii, ReleasesOnlyWhatItHolds)
{
    releases = 0;
    { CountingGuard empty; }
    { CountingGuard null(-1); }
    EXPECT_EQ(releases, 0);
    { CountingGuard held(3); }
    EXPECT_EQ(releases, 1);
    {
        CountingGuard detached(4);
        EXPECT_EQ(detached.Detach(), 4);
        EXPECT_EQ(detached.get(), -1);
    }
    EXPECT_EQ(releases, 1);
    {
        CountingGuard first(5);
        CountingGuard second(std::move(first));
        EXPECT_EQ(first.get(), -1);
        CountingGuard third(6);
        third = std::move(second);  // releases 6, takes 5
        EXPECT_EQ(releases, 2);
        EXPECT_EQ(third.get(), 5);
    }
    EXPECT_EQ(releases, 3);
}

TEST(StaticRaii, NullValuesOfTheWindowsGuards)
{
    EXPECT_EQ(FileHandleGuard().get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileDescriptorGuard().get(), -1);
    EXPECT_EQ(KeyGuard().get(), nullptr);
    EXPECT_EQ(HandleGuard().get(), nullptr);
    // Empty guards of each kind are destroyed without a release (which would end the process).
    { FileHandleGuard file(INVALID_HANDLE_VALUE); }
    { FileDescriptorGuard descriptor(-1); }
    { KeyGuard key(nullptr); }
}

TEST(FileHandleGuard, CloseHandleCheckedEmptiesTheGuard)
{
    test::TempFolder folder;
    const auto path = (folder / L"file").wstring();
    FileHandleGuard file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_NE(file.get(), INVALID_HANDLE_VALUE);
    const HANDLE raw = file.get();
    EXPECT_NO_THROW(file.CloseHandleChecked());
    EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags));

    FileHandleGuard bogus(reinterpret_cast<HANDLE>(0x7ff0));
    try {
        bogus.CloseHandleChecked();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "CloseHandle: 6");
    }
    EXPECT_EQ(bogus.get(), INVALID_HANDLE_VALUE);
}

// A failed release ends the process after an ERROR line in the trace log.
class FailedRelease : public ::testing::Test {
protected:
    // The dying child runs the test again in a process of its own: it finds the parent's log
    // path in the environment it inherits.
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        // Only the parent makes the folder: the dying child could never remove its own.
        if (GetEnvironmentVariableW(kVariable, nullptr, 0) == 0) {
            folder.emplace();
            SetEnvironmentVariableW(kVariable, (*folder / L"trace.log").c_str());
        }
    }
    void TearDown() override
    {
        test::ClearTraceLogFile();
        SetEnvironmentVariableW(kVariable, nullptr);
    }

    std::string Log() { return test::ReadFile(LogPath()); }
    static std::wstring LogPath()
    {
        wchar_t path[MAX_PATH];
        return std::wstring(path, GetEnvironmentVariableW(kVariable, path, MAX_PATH));
    }

    static constexpr const wchar_t* kVariable = L"HALVEX_TEST_DEATH_LOG";
    std::optional<test::TempFolder> folder;
};

TEST_F(FailedRelease, CloseHandle)
{
    EXPECT_DEATH(
        {
            SetTraceLogFile(LogPath());
            HandleGuard guard(reinterpret_cast<HANDLE>(0x7ff0));
        },
        "");
    EXPECT_THAT(Log(), ::testing::HasSubstr(" ERROR : CloseHandle failed: 6\r\n"));
}

TEST_F(FailedRelease, RegCloseKey)
{
    EXPECT_DEATH(
        {
            SetTraceLogFile(LogPath());
            KeyGuard guard(reinterpret_cast<HKEY>(0x7ff0));
        },
        "");
    EXPECT_THAT(Log(), ::testing::HasSubstr(" ERROR : RegCloseKey failed: 6\r\n"));
}

TEST_F(FailedRelease, CloseDescriptor)
{
    EXPECT_DEATH(
        {
            SetTraceLogFile(LogPath());
            FileDescriptorGuard guard(1000);
        },
        "");
    EXPECT_THAT(Log(), ::testing::HasSubstr(" ERROR : _close failed\r\n"));
}

}  // namespace
