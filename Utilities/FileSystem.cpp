#include "Utilities/FileSystem.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <array>
#include <stdexcept>

#include "Utilities/ProcessorArchitecture.h"
#include "Utilities/Raii.h"
#include "Utilities/RegistryHelper.h"
#include "Utilities/Throw.h"

namespace utilities {

namespace {

std::wstring Join(const std::wstring& folder, const wchar_t* name)
{
    return folder.empty() || folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

}  // namespace

std::wstring GetKnownFolderPath(const GUID& folder)
{
    wchar_t* text = nullptr;
    const HRESULT result = SHGetKnownFolderPath(folder, 0, nullptr, &text);
    const ShellStringGuard guard(text);
    if (FAILED(result))
        UTILITIES_THROW(std::runtime_error("SHGetKnownFolderPath failed: " + std::to_string(static_cast<long>(result))));
    return text;
}

std::wstring GetProgramDataFolder()
{
    return GetKnownFolderPath(FOLDERID_ProgramData);
}

std::wstring GetTempFolder()
{
    std::array<wchar_t, MAX_PATH> buffer{};
    GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    return buffer.data();
}

std::wstring ReadCurrentVersionValue(const wchar_t* name)
{
    const RegistryHelper registry(KEY_WOW64_64KEY);
    const KeyGuard key = registry.OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", KEY_READ);
    return registry.ReadStringValue(key.get(), name).value_or(std::wstring());
}

std::wstring GetSystemFolder(SystemFolderId id)
{
    const bool arm64 = GetProcessorArchitecture() == ProcessorArchitecture::ARM64;
    switch (id) {
    case SystemFolderId::ProgramFilesDir:
        return ReadCurrentVersionValue(L"ProgramFilesDir");
    case SystemFolderId::ProgramFilesX86:
        return GetKnownFolderPath(FOLDERID_ProgramFilesX86);
    case SystemFolderId::ProgramFilesArm:
        return arm64 ? ReadCurrentVersionValue(L"ProgramFilesDir (Arm)") : std::wstring();
    case SystemFolderId::CommonFilesDir:
        return ReadCurrentVersionValue(L"CommonFilesDir");
    case SystemFolderId::CommonFilesX86:
        return GetKnownFolderPath(FOLDERID_ProgramFilesCommonX86);
    case SystemFolderId::CommonFilesArm:
        return arm64 ? ReadCurrentVersionValue(L"CommonFilesDir (Arm)") : std::wstring();
    case SystemFolderId::ProgramData:
        return GetKnownFolderPath(FOLDERID_ProgramData);
    case SystemFolderId::System32:
        return Join(GetKnownFolderPath(FOLDERID_Windows), L"System32");
    case SystemFolderId::SystemX86:
        return GetKnownFolderPath(FOLDERID_SystemX86);
    case SystemFolderId::SysArm32:
        return arm64 ? Join(GetKnownFolderPath(FOLDERID_Windows), L"SysArm32") : std::wstring();
    case SystemFolderId::Windows:
        return GetKnownFolderPath(FOLDERID_Windows);
    case SystemFolderId::Desktop:
        return GetKnownFolderPath(FOLDERID_Desktop);
    case SystemFolderId::PublicDesktop:
        return GetKnownFolderPath(FOLDERID_PublicDesktop);
    }
    UTILITIES_THROW(std::logic_error("Unrecognised Id"));
}

}  // namespace utilities
