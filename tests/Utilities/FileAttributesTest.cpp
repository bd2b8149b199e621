#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempFolder.h"
#include "Utilities/FileSystem.h"
#include "Utilities/Raii.h"

namespace {

namespace fs = std::filesystem;

FileHandleGuard OpenEntry(const fs::path& path)
{
    return FileHandleGuard(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
}

// The attributes come from the basic information alone; they must be those of the full query.
TEST(GetFileAttributesByHandle, GivesTheAttributesOfTheFullFileInformation)
{
    test::TempFolder temp;
    test::WriteFile(temp / L"plain.txt", "plain");
    test::WriteFile(temp / L"marked.txt", "marked");
    ASSERT_TRUE(SetFileAttributesW((temp / L"marked.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    fs::create_directories(temp / L"folder");
    for (const wchar_t* name : {L"plain.txt", L"marked.txt", L"folder"}) {
        SCOPED_TRACE(fs::path(name).string());
        const FileHandleGuard entry = OpenEntry(temp / name);
        ASSERT_TRUE(entry);
        BY_HANDLE_FILE_INFORMATION information{};
        ASSERT_TRUE(GetFileInformationByHandle(entry.get(), &information));
        EXPECT_EQ(utilities::GetFileAttributesByHandle(entry.get()), information.dwFileAttributes);
    }
    ASSERT_TRUE(SetFileAttributesW((temp / L"marked.txt").c_str(), FILE_ATTRIBUTE_NORMAL));

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(utilities::GetFileAttributesByHandle(INVALID_HANDLE_VALUE), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

}  // namespace
