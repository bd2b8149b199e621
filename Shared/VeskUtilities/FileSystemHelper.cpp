#include "Shared/VeskUtilities/FileSystemHelper.h"

#include <shlobj.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "Shared/VeskUtilities/OSInfo.h"
#include "Utilities/FileSystem.h"
#include "Utilities/Module.h"
#include "Utilities/Raii.h"

namespace Vesk::Utilities::FileSystem {

namespace {

// Filled on first use, from the main thread first.
wchar_t commonAppDataCache[MAX_PATH];
wchar_t programFilesCache[MAX_PATH];

void CloseFind(HANDLE find)
{
    FindClose(find);
}

using FindGuard = StaticRaii<HANDLE, &CloseFind, -1>;

bool RunsUnderWow64()
{
    try {
        return OSInfo().isWow64;
    } catch (const std::exception&) {
        // Only the version numbers or the system's registry key were out of reach.
        BOOL wow64 = FALSE;
        return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
    }
}

void FillCache(wchar_t (&cache)[MAX_PATH], int csidl)
{
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, cache)))
        cache[0] = L'\0';
}

std::wstring InFolder(const std::wstring& folder, std::wstring_view name)
{
    return (std::filesystem::path(folder) / name).wstring();
}

}  // namespace

FileSystemHelper::FileSystemHelper() : FileSystemHelper(&RunsUnderWow64, [](DWORD milliseconds) { Sleep(milliseconds); })
{
}

FileSystemHelper::FileSystemHelper(IsWow64Function isWow64, SleepFunction sleep)
    : isWow64(std::move(isWow64)), sleep(std::move(sleep))
{
}

std::wstring FileSystemHelper::GetModuleFolder()
{
    try {
        return std::filesystem::path(utilities::Module::Path()).parent_path().wstring();
    } catch (const std::exception&) {
        return std::wstring();
    }
}

std::wstring FileSystemHelper::GetCommonAppDataFolder()
{
    if (commonAppDataCache[0] == L'\0')
        FillCache(commonAppDataCache, CSIDL_COMMON_APPDATA);
    return commonAppDataCache;
}

bool FileSystemHelper::Exists(std::wstring path)
{
    return std::filesystem::exists(std::filesystem::path(path));
}

bool FileSystemHelper::ReadFileContents(std::wstring path, std::string& contents)
{
    const FileHandleGuard file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return false;
    // One ReadFile moves less than 4 GiB: a bigger file would be read short.
    const auto bytes = static_cast<ULONGLONG>(size.QuadPart);
    if (size.QuadPart < 0 || bytes > MAXDWORD || bytes > contents.max_size())
        return false;
    std::string data;
    try {
        data.resize(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    DWORD read = 0;
    if (!ReadFile(file.get(), data.data(), static_cast<DWORD>(bytes), &read, nullptr) || read != bytes)
        return false;
    contents = std::move(data);
    return true;
}

std::optional<std::string> FileSystemHelper::ReadFileContents(std::wstring path)
{
    std::string contents;
    if (!ReadFileContents(std::move(path), contents))
        return std::nullopt;
    return contents;
}

std::optional<std::vector<FoundFile>> FileSystemHelper::FindFiles(std::wstring folder, const wchar_t* pattern)
{
    WIN32_FIND_DATAW found;
    const FindGuard find(FindFirstFileW((folder + pattern).c_str(), &found));
    if (!find) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            return std::vector<FoundFile>();
        return std::nullopt;
    }
    std::vector<FoundFile> files;
    do {
        files.push_back({(static_cast<std::uint64_t>(found.ftCreationTime.dwHighDateTime) << 32) |
                             found.ftCreationTime.dwLowDateTime,
                         found.cFileName});
    } while (FindNextFileW(find.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        return std::nullopt;
    std::stable_sort(files.begin(), files.end(), [](const FoundFile& a, const FoundFile& b) {
        return a.creationTime != b.creationTime ? a.creationTime < b.creationTime : a.name < b.name;
    });
    return files;
}

bool FileSystemHelper::DeleteFileInFolder(std::wstring folder, std::wstring_view name)
{
    return DeleteFileW(InFolder(folder, name).c_str());
}

bool FileSystemHelper::RenameWithSuffix(std::wstring folder, std::wstring_view name, const wchar_t* suffix)
{
    const std::wstring from = InFolder(folder, name);
    return MoveFileW(from.c_str(), (from + L"." + suffix).c_str());
}

HANDLE FileSystemHelper::StartChangeNotification(std::wstring path)
{
    return FindFirstChangeNotificationW(path.c_str(), TRUE, FILE_NOTIFY_CHANGE_FILE_NAME);
}

BOOL FileSystemHelper::NextChangeNotification(HANDLE handle)
{
    return FindNextChangeNotification(handle);
}

BOOL FileSystemHelper::CloseChangeNotification(HANDLE handle)
{
    return FindCloseChangeNotification(handle);
}

bool FileSystemHelper::WriteFileContents(std::wstring path, const std::string& contents)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (contents.size() > MAXDWORD)
        return false;
    const FileHandleGuard file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
           written == contents.size();
}

void FileSystemHelper::Remove(std::wstring path)
{
    std::filesystem::remove(std::filesystem::path(path));
}

void FileSystemHelper::RemoveAll(std::wstring path, int attempts)
{
    // The library's own remove_all stops at read-only files, and the extracted stage 2 is read-only.
    for (int attempt = 0; attempt < attempts; ++attempt) {
        try {
            utilities::RemoveAll(path);
            return;
        } catch (const std::filesystem::filesystem_error&) {
            // Another process may still hold a file of the tree: wait and try again.
        }
        sleep(1000);
    }
    utilities::RemoveAll(path);
}

bool FileSystemHelper::DeleteAtReboot(std::wstring path)
{
    return MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool FileSystemHelper::CopyFileTo(std::wstring from, std::wstring to)
{
    return std::filesystem::copy_file(std::filesystem::path(from), std::filesystem::path(to));
}

bool FileSystemHelper::Exists(const std::filesystem::path& path)
{
    return std::filesystem::exists(path);
}

std::wstring FileSystemHelper::GetProgramFilesFolder(bool x86)
{
    if (programFilesCache[0] == L'\0') {
        const bool wow64 = isWow64();
        FillCache(programFilesCache, !wow64 || x86 ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES);
    }
    return programFilesCache;
}

}  // namespace Vesk::Utilities::FileSystem
