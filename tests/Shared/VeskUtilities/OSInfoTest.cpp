#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "support/TestRegistryKey.h"
#include "halvlib/ErrorCategory.h"
#include "halvlib/String.h"
#include "Shared/VeskUtilities/OSInfo.h"
#include "support/CapturingLogger.h"

using namespace Vesk::Utilities;

namespace {

std::string SystemText(int code)
{
    return halvlib::string::GetErrorMessage(code, halvlib::string::Decimal);
}

std::vector<BYTE> Utf16Bytes(const std::wstring& text)
{
    const auto* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<BYTE> DwordBytes(DWORD value)
{
    const auto* begin = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(begin, begin + sizeof(value));
}

// A CurrentVersion key of the test's own under HKEY_CURRENT_USER\Software\HalvexTests, deleted at
// the end; a logger that catches every line meanwhile.
class OSInfoFromKey : public test::TestRegistryKey {
protected:
    OSInfoFromKey() : TestRegistryKey(L"OSInfo") {}

    OSInfo Read() const
    {
        return OSInfo(winlib::registry::RegistryKeyPath(path, KEY_WOW64_64KEY, winlib::registry::CurrentUser));
    }

    // Diagnostics that say something went wrong.
    std::vector<std::string> Complaints()
    {
        std::vector<std::string> lines = logger.Texts(halvlib::logging::Warning);
        for (const std::string& line : logger.Texts(halvlib::logging::Error))
            lines.push_back(line);
        return lines;
    }

    test::CapturingLogger logger;
};

TEST_F(OSInfoFromKey, ReadsTheNamesOfTheKey)
{
    Set(L"ProductName", REG_SZ, Utf16Bytes(L"Windows Server 2022 Datacenter"));
    Set(L"ReleaseId", REG_SZ, Utf16Bytes(L"2009"));
    Set(L"DisplayVersion", REG_SZ, Utf16Bytes(L"21H2"));
    Set(L"UBR", REG_DWORD, DwordBytes(3693));
    Set(L"InstallationType", REG_SZ, Utf16Bytes(L"Server Core"));

    const OSInfo info = Read();
    EXPECT_EQ(info.productName, L"Windows Server 2022 Datacenter");
    EXPECT_EQ(info.releaseId, L"2009");
    EXPECT_EQ(info.displayVersion, L"21H2");
    EXPECT_EQ(info.ubr, 3693u);
    EXPECT_EQ(info.installationType, L"Server Core");
    EXPECT_TRUE(Complaints().empty());
}

TEST_F(OSInfoFromKey, AbsentValuesLeaveEmptyFieldsQuietly)
{
    const OSInfo info = Read();
    EXPECT_EQ(info.productName, L"");
    EXPECT_EQ(info.releaseId, L"");
    EXPECT_EQ(info.displayVersion, L"");
    EXPECT_EQ(info.ubr, 0u);
    EXPECT_EQ(info.installationType, L"");
    EXPECT_TRUE(Complaints().empty());
    // The version numbers come from the kernel, not from the key.
    EXPECT_NE(info.majorVersion, 0u);
}

TEST_F(OSInfoFromKey, UnreadableValuesAreLoggedInReadingOrderAndSkipped)
{
    Set(L"ProductName", REG_BINARY, {1, 2, 3, 4});
    Set(L"ReleaseId", REG_SZ, {'2', 0, '0'});
    Set(L"DisplayVersion", REG_DWORD, DwordBytes(22));
    Set(L"UBR", REG_SZ, Utf16Bytes(L"3693"));
    Set(L"InstallationType", REG_SZ, Utf16Bytes(L"Client"));

    const OSInfo info = Read();
    EXPECT_EQ(info.productName, L"");
    EXPECT_EQ(info.releaseId, L"");
    EXPECT_EQ(info.displayVersion, L"");
    EXPECT_EQ(info.ubr, 0u);
    EXPECT_EQ(info.installationType, L"Client");
    const std::string prefix = "OSInfo: Unexpected error while reading optional value ";
    const std::string mismatch = SystemText(ERROR_DATATYPE_MISMATCH);
    EXPECT_EQ(logger.Texts(halvlib::logging::Error),
              (std::vector<std::string>{prefix + "ProductName: " + mismatch,
                                        prefix + "ReleaseId: Invalid registry value data length",
                                        prefix + "DisplayVersion: " + mismatch, prefix + "UBR: " + mismatch}));
    EXPECT_TRUE(logger.Texts(halvlib::logging::Warning).empty());
}

TEST_F(OSInfoFromKey, UpdateRevisionOfTheWrongSizeIsLoggedAsZero)
{
    Set(L"UBR", REG_DWORD, {1, 2});
    EXPECT_EQ(Read().ubr, 0u);
    EXPECT_EQ(logger.Texts(halvlib::logging::Error),
              std::vector<std::string>{
                  "OSInfo: Unexpected error while reading optional value UBR: Invalid registry value data length"});
}

TEST_F(OSInfoFromKey, AKeyThatCannotBeOpenedThrows)
{
    const std::wstring missing = path + L"\\Missing";
    try {
        OSInfo(winlib::registry::RegistryKeyPath(missing, KEY_WOW64_64KEY, winlib::registry::CurrentUser));
        FAIL() << "no exception";
    } catch (const std::system_error& e) {
        EXPECT_EQ(std::string(e.what()), "OpenKey(HKCU\\" + halvlib::string::ToUtf8(missing) +
                                             ") failed: " + SystemText(ERROR_FILE_NOT_FOUND));
    }
}

TEST(OSInfoWindows11, BuildsFrom22000OfVersion10AreWindows11)
{
    const struct {
        std::uint32_t major, minor, build;
        std::wstring name;
        std::uint32_t correctedMajor;
        std::wstring correctedName;
    } cases[] = {
        {10, 0, 22621, L"Windows 10 Pro", 11, L"Windows 11 Pro"},
        {10, 0, 22000, L"Windows 10 Home", 11, L"Windows 11 Home"},
        // Whole words only; every one of them.
        {10, 0, 22631, L"Windows 10 Pro 100 for 10 users", 11, L"Windows 11 Pro 100 for 11 users"},
        {10, 0, 22631, L"Windows10 Pro 2010 10x", 11, L"Windows10 Pro 2010 10x"},
        {10, 0, 22631, L"", 11, L""},
        {10, 0, 21999, L"Windows 10 Pro", 10, L"Windows 10 Pro"},
        {10, 0, 19045, L"Windows 10 Enterprise", 10, L"Windows 10 Enterprise"},
        {10, 1, 22621, L"Windows 10 Pro", 10, L"Windows 10 Pro"},
        {6, 3, 22621, L"Windows 10 Pro", 6, L"Windows 10 Pro"},
    };
    for (const auto& c : cases) {
        std::uint32_t major = c.major;
        std::wstring name = c.name;
        CorrectForWindows11(major, c.minor, c.build, name);
        EXPECT_EQ(major, c.correctedMajor) << c.build << " " << halvlib::string::ToUtf8(c.name);
        EXPECT_EQ(name, c.correctedName) << c.build;
    }
}

std::wstring SystemValue(const wchar_t* name)
{
    wchar_t buffer[256] = {};
    DWORD size = sizeof(buffer);
    const LSTATUS status =
        RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", name,
                     RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, buffer, &size);
    return status == ERROR_SUCCESS ? buffer : L"";
}

// What a 32-bit and a 64-bit process see alike: the kernel's numbers, the 64-bit view of the
// key, and a WOW64 flag that agrees with the process's machine.
TEST(OSInfoOfThisSystem, AgreesWithTheSystemsOwnAnswers)
{
    test::CapturingLogger logger;
    const OSInfo info;

    EXPECT_EQ(std::to_wstring(info.buildNumber), SystemValue(L"CurrentBuildNumber"));
    if (info.majorVersion != 11) {
        EXPECT_EQ(info.productName, SystemValue(L"ProductName"));
    }
    EXPECT_FALSE(info.productName.empty());

    USHORT processMachine = 0;
    USHORT nativeMachine = 0;
    ASSERT_TRUE(IsWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine));
    EXPECT_EQ(info.isWow64, processMachine != IMAGE_FILE_MACHINE_UNKNOWN);
    EXPECT_EQ(info.isArm64, nativeMachine == IMAGE_FILE_MACHINE_ARM64);
    if (sizeof(void*) == 8) {
        EXPECT_FALSE(info.isWow64);  // a 64-bit process never runs under WOW64
    }
    EXPECT_TRUE(logger.Texts(halvlib::logging::Error).empty());
    EXPECT_TRUE(logger.Texts(halvlib::logging::Warning).empty());
}

TEST(OSInfoNativeMachine, IsTheSystemsAnswerAndLoggedInHexadecimal)
{
    USHORT processMachine = 0;
    USHORT nativeMachine = 0;
    ASSERT_TRUE(IsWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine));

    test::CapturingLogger logger;
    EXPECT_EQ(GetNativeMachine(), nativeMachine);
    char expected[80];
    std::snprintf(expected, sizeof(expected), "IsWow64Process2: processMachine=%x nativeMachine=%x",
                  static_cast<unsigned>(processMachine), static_cast<unsigned>(nativeMachine));
    EXPECT_EQ(logger.Texts(halvlib::logging::Debug), std::vector<std::string>{expected});
}

}  // namespace
