#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TempFolder.h"
#include "Utilities/FileSystem.h"
#include "Utilities/Raii.h"

namespace {

namespace fs = std::filesystem;

void MakeReadOnly(const fs::path& item)
{
    const DWORD attributes = GetFileAttributesW(item.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(SetFileAttributesW(item.c_str(), attributes | FILE_ATTRIBUTE_READONLY));
}

TEST(RemoveAll, RemovesReadOnlyFilesFoldersAndLinks)
{
    // The shape of a working folder after an extraction: read-only files, hard-linked into place.
    test::TempFolder temp;
    const fs::path root = temp / L"CloudInstaller";
    test::WriteFile(root / L"extract_cache" / L"bin" / L"setup.dll", "dll");
    test::WriteFile(root / L"extract_cache" / L"manifest.dat", "m");
    fs::create_directories(root / L"empty");
    fs::create_directories(root / L"bin");
    fs::create_hard_link(root / L"extract_cache" / L"bin" / L"setup.dll", root / L"bin" / L"setup.dll");
    MakeReadOnly(root / L"extract_cache" / L"bin" / L"setup.dll");
    MakeReadOnly(root / L"extract_cache" / L"manifest.dat");
    MakeReadOnly(root / L"extract_cache" / L"bin");
    MakeReadOnly(root / L"empty");

    // std::filesystem::remove_all of this toolchain stops at the first read-only file.
    utilities::RemoveAll(root);
    EXPECT_FALSE(fs::exists(root));
    EXPECT_TRUE(fs::exists(temp.Path()));
}

TEST(RemoveAll, OneFileAndNothing)
{
    test::TempFolder temp;
    test::WriteFile(temp / L"resume.json", "{}");
    MakeReadOnly(temp / L"resume.json");
    utilities::RemoveAll(temp / L"resume.json");
    EXPECT_FALSE(fs::exists(temp / L"resume.json"));
    EXPECT_NO_THROW(utilities::RemoveAll(temp / L"missing"));
    EXPECT_NO_THROW(utilities::RemoveAll(temp / L"missing" / L"deeper"));
}

TEST(RemoveAll, AFileInUseFailsNamingIt)
{
    test::TempFolder temp;
    const fs::path busy = temp / L"tree" / L"busy.exe";
    test::WriteFile(busy, "running");
    const HandleGuard open(CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(open.get(), INVALID_HANDLE_VALUE);
    try {
        utilities::RemoveAll(temp / L"tree");
        FAIL() << "no error";
    } catch (const fs::filesystem_error& e) {
        EXPECT_EQ(e.path1(), busy);
        EXPECT_NE(std::string(e.what()).find("remove_all"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::exists(busy));
}

}  // namespace
