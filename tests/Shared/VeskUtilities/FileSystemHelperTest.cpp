#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "Shared/VeskUtilities/FileSystemHelper.h"
#include "support/TempFolder.h"
#include "Utilities/Raii.h"

using Vesk::Utilities::FileSystem::FileSystemHelper;
using Vesk::Utilities::FileSystem::FoundFile;

namespace {

namespace fs = std::filesystem;

std::uint64_t CreationTime(const fs::path& file)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) << file;
    return (std::uint64_t(data.ftCreationTime.dwHighDateTime) << 32) | data.ftCreationTime.dwLowDateTime;
}

void MakeReadOnly(const fs::path& item)
{
    const DWORD attributes = GetFileAttributesW(item.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(SetFileAttributesW(item.c_str(), attributes | FILE_ATTRIBUTE_READONLY));
}

// A file of the given size that takes no disk space.
void MakeSparseFile(const fs::path& file, LONGLONG size)
{
    const FileHandleGuard handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(handle);
    LARGE_INTEGER end;
    end.QuadPart = size;
    ASSERT_TRUE(SetFilePointerEx(handle.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(handle.get()));
}

HANDLE HoldOpen(const fs::path& file)
{
    return CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Records the pauses between removal attempts instead of taking them.
struct RecordedSleeps {
    std::vector<DWORD> pauses;
    FileSystemHelper Helper()
    {
        return FileSystemHelper([] { return false; }, [this](DWORD milliseconds) { pauses.push_back(milliseconds); });
    }
};

TEST(FileSystemHelperFindFiles, OldestFirstAndEqualTimesByName)
{
    test::TempFolder temp;
    // Hard links share their file's creation time: one to a file of the prefix gives an old
    // time to the last name, five to a new file give one time to names in no order.
    wchar_t windows[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, 0, windows)));
    ASSERT_TRUE(CreateHardLinkW((temp / L"zz-old.txt").c_str(), (fs::path(windows) / L"win.ini").c_str(), nullptr));
    test::WriteFile(temp / L"m.txt", "m");
    const std::vector<std::wstring> sameTime = {L"m.txt", L"k.txt", L"c.txt", L"x.txt", L"e.txt", L"q.txt"};
    for (const std::wstring& name : sameTime) {
        if (name != L"m.txt") {
            ASSERT_TRUE(CreateHardLinkW((temp / name).c_str(), (temp / L"m.txt").c_str(), nullptr));
        }
    }
    test::WriteFile(temp / L"a.txt", "a");
    fs::create_directories(temp / L"folder.txt");
    test::WriteFile(temp / L"other.log", "not matched");

    const auto found = FileSystemHelper().FindFiles(temp.Path().wstring(), L"\\*.txt");
    ASSERT_TRUE(found);
    std::vector<std::wstring> names;
    for (const FoundFile& file : *found) {
        names.push_back(file.name);
        EXPECT_EQ(file.creationTime, CreationTime(temp / file.name)) << file.name;
    }

    // The order the files' own times give.
    std::vector<std::tuple<std::uint64_t, std::wstring>> expected;
    for (const wchar_t* name : {L"a.txt", L"folder.txt", L"zz-old.txt"})
        expected.emplace_back(CreationTime(temp / name), name);
    for (const std::wstring& name : sameTime) {
        EXPECT_EQ(CreationTime(temp / name), CreationTime(temp / L"m.txt")) << name;
        expected.emplace_back(CreationTime(temp / name), name);
    }
    std::sort(expected.begin(), expected.end());
    std::vector<std::wstring> expectedNames;
    for (const auto& [time, name] : expected)
        expectedNames.push_back(name);
    EXPECT_EQ(names, expectedNames);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), L"zz-old.txt");
}

TEST(FileSystemHelperFindFiles, NoMatchIsAnEmptyListAndAMissingFolderIsNothing)
{
    test::TempFolder temp;
    test::WriteFile(temp / L"resume.json", "{}");
    FileSystemHelper helper;

    const auto none = helper.FindFiles(temp.Path().wstring(), L"\\*.log");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());

    EXPECT_FALSE(helper.FindFiles((temp / L"missing").wstring(), L"\\*.log"));
}

TEST(FileSystemHelperRead, ReadsEveryByte)
{
    test::TempFolder temp;
    const std::string bytes("\0first\r\nsecond\xff\0", 16);
    test::WriteFile(temp / L"data.bin", bytes);
    EXPECT_EQ(FileSystemHelper().ReadFileContents((temp / L"data.bin").wstring()), bytes);

    test::WriteFile(temp / L"empty.bin", "");
    EXPECT_EQ(FileSystemHelper().ReadFileContents((temp / L"empty.bin").wstring()), std::string());
}

TEST(FileSystemHelperRead, FilesOf4GiBAndMoreFailAndLeaveTheTextAlone)
{
    test::TempFolder temp;
    FileSystemHelper helper;
    // Their sizes cut to 32 bits are 0 and 10: a read of that much must not pass for the file.
    for (const LONGLONG size : {4LL << 30, (4LL << 30) + 10}) {
        SCOPED_TRACE(size);
        const fs::path file = temp / L"huge.bin";
        MakeSparseFile(file, size);
        std::string contents = "kept";
        EXPECT_FALSE(helper.ReadFileContents(file.wstring(), contents));
        EXPECT_EQ(contents, "kept");
        EXPECT_FALSE(helper.ReadFileContents(file.wstring()));
        fs::remove(file);
    }
    std::string contents = "kept";
    EXPECT_FALSE(helper.ReadFileContents((temp / L"missing.bin").wstring(), contents));
    EXPECT_EQ(contents, "kept");
}

TEST(FileSystemHelperWrite, ReplacesAReadOnlyFileWithANormalOne)
{
    test::TempFolder temp;
    const fs::path file = temp / L"settings.dat";
    test::WriteFile(file, "a longer old text");
    MakeReadOnly(file);

    ASSERT_TRUE(FileSystemHelper().WriteFileContents(file.wstring(), std::string("new\0text", 8)));
    EXPECT_EQ(test::ReadFile(file), std::string("new\0text", 8));
    EXPECT_FALSE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST(FileSystemHelperNames, RenameAndDeleteJoinFolderAndName)
{
    for (const bool closingSeparator : {false, true}) {
        test::TempFolder temp;
        const std::wstring folder = temp.Path().wstring() + (closingSeparator ? L"\\" : L"");
        test::WriteFile(temp / L"stage2.exe", "2");
        test::WriteFile(temp / L"old.log", "log");
        FileSystemHelper helper;

        EXPECT_TRUE(helper.RenameWithSuffix(folder, L"stage2.exe", L"bak"));
        EXPECT_EQ(test::ReadFile(temp / L"stage2.exe.bak"), "2");
        EXPECT_FALSE(fs::exists(temp / L"stage2.exe"));
        EXPECT_FALSE(helper.RenameWithSuffix(folder, L"stage2.exe", L"bak"));

        EXPECT_TRUE(helper.DeleteFileInFolder(folder, L"old.log"));
        EXPECT_FALSE(fs::exists(temp / L"old.log"));
        EXPECT_FALSE(helper.DeleteFileInFolder(folder, L"old.log"));
    }
}

TEST(FileSystemHelperRemoveAll, RemovesReadOnlyTreesAtTheFirstTry)
{
    // The working folder after an extraction: a read-only stage 2 in a read-only folder.
    test::TempFolder temp;
    const fs::path root = temp / L"CloudInstaller";
    test::WriteFile(root / L"bin" / L"stage2.exe", "2");
    MakeReadOnly(root / L"bin" / L"stage2.exe");
    MakeReadOnly(root / L"bin");
    RecordedSleeps sleeps;

    sleeps.Helper().RemoveAll(root.wstring(), 1);
    EXPECT_FALSE(fs::exists(root));
    EXPECT_TRUE(sleeps.pauses.empty());

    EXPECT_NO_THROW(sleeps.Helper().RemoveAll(root.wstring(), 1));
    EXPECT_NO_THROW(sleeps.Helper().RemoveAll(root.wstring(), 0));
    EXPECT_TRUE(sleeps.pauses.empty());
}

TEST(FileSystemHelperRemoveAll, AHeldFileFailsEveryAttemptAndThenThrows)
{
    test::TempFolder temp;
    const fs::path busy = temp / L"tree" / L"busy.exe";
    test::WriteFile(busy, "running");
    const HandleGuard open(HoldOpen(busy));
    ASSERT_NE(open.get(), INVALID_HANDLE_VALUE);
    RecordedSleeps sleeps;

    try {
        sleeps.Helper().RemoveAll((temp / L"tree").wstring(), 3);
        FAIL() << "no error";
    } catch (const fs::filesystem_error& e) {
        EXPECT_NE(std::string(e.what()).find("remove_all"), std::string::npos) << e.what();
        EXPECT_EQ(e.path1(), busy);
    }
    EXPECT_EQ(sleeps.pauses, (std::vector<DWORD>{1000, 1000, 1000}));
    EXPECT_TRUE(fs::exists(busy));
}

TEST(FileSystemHelperRemoveAll, AFileLetGoBetweenAttemptsIsRemoved)
{
    test::TempFolder temp;
    const fs::path busy = temp / L"tree" / L"busy.exe";
    test::WriteFile(busy, "running");
    HandleGuard open(HoldOpen(busy));
    ASSERT_NE(open.get(), INVALID_HANDLE_VALUE);
    std::vector<DWORD> pauses;
    FileSystemHelper helper([] { return false; }, [&](DWORD milliseconds) {
        pauses.push_back(milliseconds);
        open.Reset();
    });

    helper.RemoveAll((temp / L"tree").wstring(), 5);
    EXPECT_FALSE(fs::exists(temp / L"tree"));
    EXPECT_EQ(pauses, std::vector<DWORD>{1000});
}

std::wstring Folder(int csidl)
{
    wchar_t folder[MAX_PATH] = {};
    EXPECT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, folder)));
    return folder;
}

// The cache lives as long as the process: no other test may ask for the folder.
TEST(FileSystemHelperProgramFiles, TheFirstCallChoosesForTheProcess)
{
    ASSERT_NE(Folder(CSIDL_PROGRAM_FILES), Folder(CSIDL_PROGRAM_FILESX86)) << "needs a 64-bit system";
    int asked = 0;
    FileSystemHelper helper([&] {
        ++asked;
        return true;
    }, [](DWORD) {});

    // Under WOW64 the native folder is asked for with x86 false...
    const std::wstring first = helper.GetProgramFilesFolder(false);
    EXPECT_EQ(first, Folder(CSIDL_PROGRAM_FILES));
    // ...and kept, whatever later calls ask, also through another helper.
    EXPECT_EQ(helper.GetProgramFilesFolder(true), first);
    EXPECT_EQ(FileSystemHelper([&] {
                  ++asked;
                  return false;
              }, [](DWORD) {}).GetProgramFilesFolder(true), first);
    EXPECT_EQ(asked, 1);
}

// The boot-time list of files to delete is one value for the whole prefix: these tests hold its lock.
class FileSystemHelperDeleteAtReboot : public ::testing::Test {
protected:
    static constexpr const wchar_t* kSessionManager = L"System\\CurrentControlSet\\Control\\Session Manager";
    static constexpr const wchar_t* kPending = L"PendingFileRenameOperations";

    // The elements of the list, empty ones included: an empty target means delete.
    static std::vector<std::wstring> Pending()
    {
        DWORD bytes = 0;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                         &bytes) != ERROR_SUCCESS)
            return {};
        std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1);
        EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr,
                               data.data(), &bytes),
                  ERROR_SUCCESS);
        std::vector<std::wstring> elements;
        std::wstring current;
        for (DWORD i = 0; i + 1 < bytes / sizeof(wchar_t); ++i) {
            if (data[i] != L'\0') {
                current += data[i];
            } else {
                elements.push_back(current);
                current.clear();
            }
        }
        return elements;
    }

    // Takes this test's pair out again, so that no later boot of the prefix acts on it.
    void TearDown() override
    {
        std::vector<std::wstring> elements = Pending();
        std::wstring kept;
        for (size_t i = 0; i + 1 < elements.size(); i += 2) {
            if (elements[i] == ntPath)
                continue;
            kept += elements[i] + L'\0' + elements[i + 1] + L'\0';
        }
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        const KeyGuard guard(key);
        if (kept.empty()) {
            RegDeleteValueW(key, kPending);
        } else {
            kept += L'\0';
            RegSetValueExW(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                           static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
        }
    }

    std::wstring ntPath;
};

TEST_F(FileSystemHelperDeleteAtReboot, ListsTheFileForDeletion)
{
    test::TempFolder temp;
    const fs::path file = temp / L"stage2.exe";
    test::WriteFile(file, "2");
    ntPath = L"\\??\\" + file.wstring();

    ASSERT_TRUE(FileSystemHelper().DeleteAtReboot(file.wstring()));
    const std::vector<std::wstring> elements = Pending();
    const auto entry = std::find(elements.begin(), elements.end(), ntPath);
    ASSERT_NE(entry, elements.end());
    ASSERT_NE(entry + 1, elements.end());
    EXPECT_EQ(entry[1], L"");
    EXPECT_TRUE(fs::exists(file));
}

}  // namespace
