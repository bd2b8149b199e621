#include <windows.h>

#include <boost/exception/get_error_info.hpp>
#include <boost/exception/info.hpp>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "halvlib/String.h"
#include "support/TempFolder.h"
#include "Utilities/FileSystem.h"
#include "Utilities/Raii.h"

namespace {

namespace fs = std::filesystem;
using test::WriteFile;
using utilities::HardLinkRecursive;

BY_HANDLE_FILE_INFORMATION FileInformation(const fs::path& file)
{
    const FileHandleGuard handle(CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (handle.get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle.get(), &information))
        throw std::runtime_error("cannot read the file information of " + file.string());
    return information;
}

// Both names lead to one file: same volume and index, two links.
void ExpectSameFile(const fs::path& original, const fs::path& link)
{
    const BY_HANDLE_FILE_INFORMATION a = FileInformation(original);
    const BY_HANDLE_FILE_INFORMATION b = FileInformation(link);
    EXPECT_EQ(a.dwVolumeSerialNumber, b.dwVolumeSerialNumber) << link;
    EXPECT_EQ(a.nFileIndexHigh, b.nFileIndexHigh) << link;
    EXPECT_EQ(a.nFileIndexLow, b.nFileIndexLow) << link;
    EXPECT_EQ(b.nNumberOfLinks, 2u) << link;
}

std::string ThrowLocation(const std::exception& e)
{
    const auto* located = dynamic_cast<const boost::exception*>(&e);
    if (located == nullptr)
        return "";
    const char* const* file = boost::get_error_info<boost::throw_file>(*located);
    const char* const* function = boost::get_error_info<boost::throw_function>(*located);
    return std::string(file ? *file : "") + " " + (function ? *function : "");
}

TEST(HardLinkRecursive, MirrorsANestedTreeWithSharedFiles)
{
    test::TempFolder folder;
    const fs::path source = folder / L"source";
    const std::vector<fs::path> files = {L"top.txt", L"sub\\one.bin", L"sub\\deeper\\two.txt", L"caf\u00e9\\\u00e5.txt"};
    for (const fs::path& file : files)
        WriteFile(source / file, "content of " + file.string());
    fs::create_directories(source / L"sub\\empty");
    // Missing parents of the destination are made too.
    const fs::path destination = folder / L"out\\mirror";

    HardLinkRecursive(source, destination);

    for (const fs::path& file : files) {
        EXPECT_EQ(test::ReadFile(destination / file), "content of " + file.string()) << file;
        ExpectSameFile(source / file, destination / file);
    }
    EXPECT_TRUE(fs::is_directory(destination / L"sub\\empty"));
    EXPECT_TRUE(fs::is_empty(destination / L"sub\\empty"));
    // A change through one name shows through the other.
    WriteFile(destination / L"sub\\one.bin", "changed");
    EXPECT_EQ(test::ReadFile(source / L"sub\\one.bin"), "changed");
}

TEST(HardLinkRecursive, FillsAnExistingDestinationAndAcceptsAnySpelling)
{
    test::TempFolder folder;
    WriteFile(folder / L"source\\a\\file.txt", "linked");
    WriteFile(folder / L"sourceCopy\\kept.txt", "kept");
    // A sibling whose name begins with the source's name is not inside the source.
    HardLinkRecursive(folder / L"source\\", folder / L"elsewhere\\..\\sourceCopy\\.");

    EXPECT_EQ(test::ReadFile(folder / L"sourceCopy\\a\\file.txt"), "linked");
    EXPECT_EQ(test::ReadFile(folder / L"sourceCopy\\kept.txt"), "kept");
    EXPECT_FALSE(fs::exists(folder / L"elsewhere"));
    EXPECT_FALSE(fs::exists(folder / L"sourceCopyfile.txt"));
}

TEST(HardLinkRecursive, AnExistingTargetFileStopsWithoutBeingReplaced)
{
    test::TempFolder folder;
    WriteFile(folder / L"source\\sub\\file.txt", "new");
    WriteFile(folder / L"destination\\sub\\file.txt", "old");
    try {
        HardLinkRecursive(folder / L"source", folder / L"destination");
        FAIL() << "no exception";
    } catch (const fs::filesystem_error& e) {
        EXPECT_EQ(fs::canonical(e.path1()), fs::canonical(folder / L"source\\sub\\file.txt"));
        EXPECT_EQ(fs::canonical(e.path2()), fs::canonical(folder / L"destination\\sub\\file.txt"));
    }
    EXPECT_EQ(test::ReadFile(folder / L"destination\\sub\\file.txt"), "old");
    EXPECT_EQ(FileInformation(folder / L"source\\sub\\file.txt").nNumberOfLinks, 1u);
}

TEST(HardLinkRecursive, SomethingOtherThanFoldersIsRefused)
{
    test::TempFolder folder;
    WriteFile(folder / L"source\\file.txt", "x");
    WriteFile(folder / L"plain \u00e9.txt", "x");
    struct Case {
        fs::path source;
        fs::path destination;
        fs::path named;
    };
    const std::vector<Case> table = {
        {folder / L"missing \u00e9", folder / L"destination", folder / L"missing \u00e9"},
        {folder / L"plain \u00e9.txt", folder / L"destination", folder / L"plain \u00e9.txt"},
        {folder / L"source", folder / L"plain \u00e9.txt", folder / L"plain \u00e9.txt"},
    };
    for (const Case& row : table) {
        try {
            HardLinkRecursive(row.source, row.destination);
            ADD_FAILURE() << row.source << " -> " << row.destination << ": no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), "Not a directory: " + WideToUtf8(row.named.wstring()));
            const std::string location = ThrowLocation(e);
            EXPECT_NE(location.find("Utilities/FileSystem.cpp"), std::string::npos) << location;
            EXPECT_NE(location.find("HardLinkRecursive"), std::string::npos) << location;
        }
    }
    // Nothing is made for a refused source.
    EXPECT_FALSE(fs::exists(folder / L"destination"));
}

TEST(HardLinkRecursive, ADestinationInsideTheSourceIsRefused)
{
    test::TempFolder folder;
    WriteFile(folder / L"source\\file.txt", "x");
    for (const fs::path& destination : {folder / L"source\\mirror", folder / L"source"}) {
        try {
            HardLinkRecursive(folder / L"source", destination);
            ADD_FAILURE() << destination << ": no exception";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), "Destination is within source");
        }
    }
    EXPECT_EQ(FileInformation(folder / L"source\\file.txt").nNumberOfLinks, 1u);
}

TEST(HardLinkRecursive, ALinkLeadingOutOfTheSourceIsRefused)
{
    test::TempFolder folder;
    WriteFile(folder / L"outside.txt", "secret");
    fs::create_directories(folder / L"source");
    // Wine reports success but makes a link that cannot be opened.
    if (!CreateSymbolicLinkW((folder / L"source\\link.txt").c_str(), (folder / L"outside.txt").c_str(), 0) ||
        !fs::is_symlink(folder / L"source\\link.txt"))
        GTEST_SKIP() << "this system makes no usable symbolic links";
    try {
        HardLinkRecursive(folder / L"source", folder / L"destination");
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Item is not within source");
        EXPECT_NE(ThrowLocation(e).find("HardLinkRecursive"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(folder / L"destination\\link.txt"));
}

}  // namespace
