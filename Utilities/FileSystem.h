#pragma once

#include <windows.h>

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

}  // namespace utilities
