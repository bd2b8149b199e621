#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace utilities {

enum class SystemFolderId : unsigned {
    ProgramFilesDir = 0,
    ProgramFilesX86 = 1,
    ProgramFilesArm = 2,
    CommonFilesDir = 3,
    CommonFilesX86 = 4,
    CommonFilesArm = 5,
    ProgramData = 6,
    System32 = 7,
    SystemX86 = 8,
    SysArm32 = 9,
    Windows = 10,
    Desktop = 11,
    PublicDesktop = 12,
};

std::wstring GetKnownFolderPath(const GUID& folder);
std::wstring GetProgramDataFolder();
// The user's temporary folder, with its closing backslash.
std::wstring GetTempFolder();
// A value of HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion from the 64-bit view, also in this
// 32-bit process.
std::wstring ReadCurrentVersionValue(const wchar_t* name);
// The ARM folders are "" on other machines. Throws std::logic_error "Unrecognised Id".
std::wstring GetSystemFolder(SystemFolderId id);

// The path rebuilt from its elements without "." ones; ".." elements stay.
std::wstring RemoveDotElements(const std::wstring& path);

// The path rebuilt from its elements without "." ones and upper-cased; two paths name the same
// file for the installer when these texts are equal. ".." elements stay. Throws
// std::runtime_error "CharUpperBuffW failed".
std::wstring NormalisePathForComparison(const std::wstring& path);

// Gives every file of the source tree a second name at the same place under destination (created
// when missing), making each folder on the way. Nothing is copied, so both trees must be on one
// volume. Throws std::runtime_error "Not a directory: <path>" when source is not a folder or
// destination is something else, std::logic_error "Destination is within source" or "Item is not
// within source" (a link that leads out), and std::filesystem::filesystem_error for the rest,
// an existing target file included; links made before a failure stay.
void HardLinkRecursive(const std::filesystem::path& source, const std::filesystem::path& destination);

// The attributes of an open file or folder, INVALID_FILE_ATTRIBUTES (with the last error set) when
// they cannot be read. Of an entry opened without following a link, they tell whether it is one.
DWORD GetFileAttributesByHandle(HANDLE file);

// Removes a file or a whole tree, like std::filesystem::remove_all, but also read-only files and
// folders (libstdc++'s leaves them, and the extracted stage 2 is read-only). Links found in the
// tree are removed, not followed; a folder swapped for a link while the removal runs is not
// guarded against, so it is meant for trees that only administrators can change. A missing
// path is no error. Throws
// std::filesystem::filesystem_error "remove_all" naming the first item that could not be removed.
void RemoveAll(const std::filesystem::path& path);

}  // namespace utilities
