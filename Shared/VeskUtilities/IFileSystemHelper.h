#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Vesk::Utilities::FileSystem {

struct FoundFile {
    std::uint64_t creationTime;
    std::wstring name;
};

// The installer's way to the file system; tests give fakes.
class IFileSystemHelper {
public:
    virtual ~IFileSystemHelper() = default;
    virtual std::wstring GetModuleFolder() = 0;
    virtual std::wstring GetCommonAppDataFolder() = 0;
    virtual bool Exists(std::wstring path) = 0;
    virtual bool ReadFileContents(std::wstring path, std::string& contents) = 0;
    virtual std::optional<std::string> ReadFileContents(std::wstring path) = 0;
    virtual std::optional<std::vector<FoundFile>> FindFiles(std::wstring folder, const wchar_t* pattern) = 0;
    virtual bool DeleteFileInFolder(std::wstring folder, std::wstring_view name) = 0;
    virtual bool RenameWithSuffix(std::wstring folder, std::wstring_view name, const wchar_t* suffix) = 0;
    virtual HANDLE StartChangeNotification(std::wstring path) = 0;
    virtual BOOL NextChangeNotification(HANDLE handle) = 0;
    virtual BOOL CloseChangeNotification(HANDLE handle) = 0;
    virtual bool WriteFileContents(std::wstring path, const std::string& contents) = 0;
    virtual void Remove(std::wstring path) = 0;
    // Tries utilities::RemoveAll (read-only files too, links not followed) up to attempts times.
    virtual void RemoveAll(std::wstring path, int attempts) = 0;
    virtual bool DeleteAtReboot(std::wstring path) = 0;
    virtual bool CopyFileTo(std::wstring from, std::wstring to) = 0;
    virtual bool Exists(const std::filesystem::path& path) = 0;
    virtual std::wstring GetProgramFilesFolder(bool x86) = 0;
};

}  // namespace Vesk::Utilities::FileSystem
