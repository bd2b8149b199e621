#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Shared/VeskUtilities/IFileSystemHelper.h"

namespace Vesk::Utilities::FileSystem {

// The common application-data and Program Files folders are asked once per process and kept.
class FileSystemHelper : public IFileSystemHelper {
public:
    // Whether this process runs under WOW64, and the pause between two removal attempts; tests
    // give their own.
    using IsWow64Function = std::function<bool()>;
    using SleepFunction = std::function<void(DWORD milliseconds)>;

    FileSystemHelper();
    FileSystemHelper(IsWow64Function isWow64, SleepFunction sleep);

    std::wstring GetModuleFolder() override;
    std::wstring GetCommonAppDataFolder() override;
    bool Exists(std::wstring path) override;
    // Fails, leaving contents alone, when the file cannot be read whole (4 GiB or more included).
    bool ReadFileContents(std::wstring path, std::string& contents) override;
    std::optional<std::string> ReadFileContents(std::wstring path) override;
    // The entries of folder + pattern by creation time, equal times by name; an empty list when
    // nothing matches, nothing when the search fails (a missing folder included).
    std::optional<std::vector<FoundFile>> FindFiles(std::wstring folder, const wchar_t* pattern) override;
    bool DeleteFileInFolder(std::wstring folder, std::wstring_view name) override;
    // Renames folder\name to folder\name.suffix.
    bool RenameWithSuffix(std::wstring folder, std::wstring_view name, const wchar_t* suffix) override;
    // File-name changes in the whole tree.
    HANDLE StartChangeNotification(std::wstring path) override;
    BOOL NextChangeNotification(HANDLE handle) override;
    BOOL CloseChangeNotification(HANDLE handle) override;
    // Replaces the file, a read-only one too.
    bool WriteFileContents(std::wstring path, const std::string& contents) override;
    void Remove(std::wstring path) override;
    // Sleeps one second after each failed attempt; when all failed, one more try throws its
    // std::filesystem::filesystem_error.
    void RemoveAll(std::wstring path, int attempts) override;
    bool DeleteAtReboot(std::wstring path) override;
    // An existing target is an error.
    bool CopyFileTo(std::wstring from, std::wstring to) override;
    bool Exists(const std::filesystem::path& path) override;
    // The 32-bit Program Files folder unless x86 is false in a WOW64 process. Only the first call
    // chooses: later ones return its folder whatever they ask.
    std::wstring GetProgramFilesFolder(bool x86) override;

private:
    IsWow64Function isWow64;
    SleepFunction sleep;
};

}  // namespace Vesk::Utilities::FileSystem
