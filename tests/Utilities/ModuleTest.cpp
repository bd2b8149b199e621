#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "Utilities/FileSystem.h"
#include "Utilities/Module.h"

namespace {

std::vector<DWORD> offeredSizes;
std::wstring fakePath;

// Behaves like GetModuleFileNameW for a module whose path is fakePath.
DWORD WINAPI FakeModuleFileName(HMODULE, wchar_t* buffer, DWORD size)
{
    offeredSizes.push_back(size);
    const DWORD copied = static_cast<DWORD>(std::min<std::size_t>(fakePath.size(), size - 1));
    std::copy_n(fakePath.data(), copied, buffer);
    buffer[copied] = L'\0';
    return fakePath.size() >= size ? size : copied;
}

DWORD WINAPI FailingModuleFileName(HMODULE, wchar_t*, DWORD)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}

TEST(Module, PathOfThisProgram)
{
    wchar_t expected[MAX_PATH];
    GetModuleFileNameW(nullptr, expected, MAX_PATH);
    EXPECT_EQ(utilities::Module::Path(), expected);
    EXPECT_EQ(utilities::Module::ModuleFileName(), L"UtilitiesTests.exe");
}

TEST(Module, LongPathsGrowTheBuffer)
{
    offeredSizes.clear();
    fakePath = L"C:\\" + std::wstring(297, L'a');
    EXPECT_EQ(utilities::Module::Path(&FakeModuleFileName), fakePath);
    EXPECT_EQ(offeredSizes, (std::vector<DWORD>{260, 520}));

    offeredSizes.clear();
    fakePath = std::wstring(40'000, L'a');
    try {
        utilities::Module::Path(&FakeModuleFileName);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Path too long");
    }
    EXPECT_EQ(offeredSizes, (std::vector<DWORD>{260, 520, 1040, 2080, 4160, 8320, 16640, 32788}));
}

TEST(Module, FailureNamesTheCode)
{
    try {
        utilities::Module::Path(&FailingModuleFileName);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "GetModuleFileNameW failed: 8");
    }
}

TEST(SystemFolders, KnownFoldersAndArmOnlyOnes)
{
    using utilities::GetSystemFolder;
    using utilities::SystemFolderId;
    const std::wstring windows = GetSystemFolder(SystemFolderId::Windows);
    ASSERT_FALSE(windows.empty());
    EXPECT_EQ(GetSystemFolder(SystemFolderId::System32), windows + L"\\System32");
    EXPECT_EQ(GetSystemFolder(SystemFolderId::ProgramData), utilities::GetProgramDataFolder());
    EXPECT_FALSE(GetSystemFolder(SystemFolderId::ProgramFilesDir).empty());
    EXPECT_FALSE(GetSystemFolder(SystemFolderId::CommonFilesDir).empty());
    EXPECT_FALSE(GetSystemFolder(SystemFolderId::ProgramFilesX86).empty());
    EXPECT_FALSE(GetSystemFolder(SystemFolderId::Desktop).empty());
    // Not an ARM64 machine.
    EXPECT_EQ(GetSystemFolder(SystemFolderId::ProgramFilesArm), L"");
    EXPECT_EQ(GetSystemFolder(SystemFolderId::CommonFilesArm), L"");
    EXPECT_EQ(GetSystemFolder(SystemFolderId::SysArm32), L"");
    try {
        GetSystemFolder(static_cast<SystemFolderId>(13));
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Unrecognised Id");
    }
}

TEST(SystemFolders, TempFolderEndsWithASeparator)
{
    const std::wstring temp = utilities::GetTempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), L'\\');
}

TEST(SystemFolders, KnownFolderFailureIsTheHResult)
{
    const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    try {
        utilities::GetKnownFolderPath(unknown);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("SHGetKnownFolderPath failed: -", 0), 0u) << e.what();
    }
}

}  // namespace
