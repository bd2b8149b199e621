#include "Utilities/FileSystem.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <array>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "halvlib/String.h"
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

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// Element by element, so that C:\src2 is not taken to lie within C:\src.
bool IsWithin(const std::filesystem::path& root, const std::filesystem::path& item)
{
    auto itemElement = item.begin();
    for (const auto& rootElement : root) {
        if (itemElement == item.end() || *itemElement != rootElement)
            return false;
        ++itemElement;
    }
    return true;
}

// The elements of item after those of root; item lies within root.
std::filesystem::path RelativePart(const std::filesystem::path& root, const std::filesystem::path& item)
{
    auto itemElement = item.begin();
    for (auto rootElement = root.begin(); rootElement != root.end(); ++rootElement)
        ++itemElement;
    std::filesystem::path relative;
    for (; itemElement != item.end(); ++itemElement)
        relative /= *itemElement;
    return relative;
}

void CloseFind(HANDLE find)
{
    FindClose(find);
}

using FindGuard = StaticRaii<HANDLE, &CloseFind, -1>;

[[noreturn]] void ThrowRemoveError(const std::wstring& path, DWORD code)
{
    UTILITIES_THROW(std::filesystem::filesystem_error(
        "remove_all", path, std::error_code(static_cast<int>(code), std::system_category())));
}

void RemoveItem(const std::wstring& path, DWORD attributes);

void RemoveFolderContents(const std::wstring& folder)
{
    // Listed first and removed after, so that no removal runs under an open listing.
    std::vector<std::pair<std::wstring, DWORD>> items;
    WIN32_FIND_DATAW found;
    const FindGuard find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                          nullptr, 0));
    if (!find)
        ThrowRemoveError(folder, GetLastError());
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            items.emplace_back(folder + L"\\" + name, found.dwFileAttributes);
    } while (FindNextFileW(find.get(), &found));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES)
        ThrowRemoveError(folder, error);
    for (const auto& [path, attributes] : items)
        RemoveItem(path, attributes);
}

void RemoveItem(const std::wstring& path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        // A failure here shows as the removal's own failure below.
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A junction or folder link goes by itself; what it points to stays.
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            RemoveFolderContents(path);
        if (!RemoveDirectoryW(path.c_str()))
            ThrowRemoveError(path, GetLastError());
    } else if (!DeleteFileW(path.c_str())) {
        ThrowRemoveError(path, GetLastError());
    }
}

}  // namespace

DWORD GetFileAttributesByHandle(HANDLE file)
{
    // Only the basic information: the full one also queries the volume, which can cost a few
    // milliseconds a file.
    FILE_BASIC_INFO information{};
    return GetFileInformationByHandleEx(file, FileBasicInfo, &information, sizeof(information))
               ? information.FileAttributes
               : INVALID_FILE_ATTRIBUTES;
}

void RemoveAll(const std::filesystem::path& path)
{
    const std::wstring native = path.wstring();
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return;
        ThrowRemoveError(native, error);
    }
    RemoveItem(native, attributes);
}

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

std::wstring RemoveDotElements(const std::wstring& path)
{
    std::filesystem::path rebuilt;
    for (const auto& element : std::filesystem::path(path)) {
        if (element.native() != L".")
            rebuilt /= element;
    }
    return rebuilt.native();
}

std::wstring NormalisePathForComparison(const std::wstring& path)
{
    // Some standard libraries read no network or device root name and would drop one of its
    // leading separators, so that \\server\share and \server\share compared equal.
    std::wstring::size_type prefixLength = 0;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        const bool device = path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && IsSeparator(path[3]);
        prefixLength = device ? 4 : 2;
    }
    std::wstring text = path.substr(0, prefixLength) + RemoveDotElements(path.substr(prefixLength));
    if (CharUpperBuffW(text.data(), static_cast<DWORD>(text.size())) != text.size())
        UTILITIES_THROW(std::runtime_error("CharUpperBuffW failed"));
    return text;
}

void HardLinkRecursive(const std::filesystem::path& source, const std::filesystem::path& destination)
{
    std::error_code error;
    if (!std::filesystem::is_directory(source, error))
        UTILITIES_THROW(std::runtime_error("Not a directory: " + WideToUtf8(source.wstring())));
    if (std::filesystem::exists(destination, error)) {
        if (!std::filesystem::is_directory(destination, error))
            UTILITIES_THROW(std::runtime_error("Not a directory: " + WideToUtf8(destination.wstring())));
    } else {
        std::filesystem::create_directories(destination);
    }
    const std::filesystem::path canonicalSource = std::filesystem::canonical(source);
    const std::filesystem::path canonicalDestination = std::filesystem::canonical(destination);
    // The walk would meet its own links and go on until the paths are too long.
    if (IsWithin(canonicalSource, canonicalDestination))
        UTILITIES_THROW(std::logic_error("Destination is within source"));

    // The folder made last: the files of one folder come one after another, and asking whether
    // a folder exists costs as much as linking a file.
    std::filesystem::path madeFolder;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(canonicalSource)) {
        // A link inside the tree must not lead the mirror to files outside it.
        if (!IsWithin(canonicalSource, std::filesystem::canonical(entry.path())))
            UTILITIES_THROW(std::logic_error("Item is not within source"));
        const std::filesystem::path target = canonicalDestination / RelativePart(canonicalSource, entry.path());
        if (entry.is_directory()) {
            std::filesystem::create_directories(target);
            madeFolder = target;
        } else {
            if (target.parent_path() != madeFolder) {
                std::filesystem::create_directories(target.parent_path());
                madeFolder = target.parent_path();
            }
            std::filesystem::create_hard_link(entry.path(), target);
        }
    }
}

}  // namespace utilities
