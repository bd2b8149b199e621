#include "Utilities/ProgramDataFolder.h"

#include <aclapi.h>
#include <sddl.h>

#include <stdexcept>

#include "Utilities/FileSystem.h"
#include "Utilities/Throw.h"

namespace utilities {

namespace {

constexpr const wchar_t* kProgramDataSddl = L"O:BAG:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)";

[[noreturn]] void ThrowWithCode(const char* what, DWORD code)
{
    UTILITIES_THROW(std::runtime_error(std::string(what) + std::to_string(code)));
}

// The entry itself: a junction or symbolic link in its place is opened, not followed. Attributes
// and owner are read from this one handle, so the entry cannot be swapped between the two reads.
FileHandleGuard OpenEntry(const std::wstring& path, DWORD access)
{
    return FileHandleGuard(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

DWORD AttributesOf(HANDLE entry)
{
    const DWORD attributes = GetFileAttributesByHandle(entry);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        ThrowWithCode("GetFileInformationByHandleEx failed: ", GetLastError());
    return attributes;
}

// The owner points into the returned descriptor.
LocalMemoryGuard OwnerOf(HANDLE entry, PSID& owner)
{
    owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetSecurityInfo(entry, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                         nullptr, &descriptor);
    LocalMemoryGuard guard(descriptor);
    if (status != ERROR_SUCCESS)
        ThrowWithCode("GetSecurityInfo failed: ", status);
    return guard;
}

}  // namespace

const char* const kProgramDataNotOwnedMessage =
    "Existing Halvex ProgramData folder is not owned by built-in administrators and may be compromised.\n\n"
    "Fully remove installed Halvex Ostrel software before attempting installation again.\n\n"
    "For more information see https://support.halvex.com/vesk/installer-programdata-folder";

bool IsUserAdministrator()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                  0, 0, 0, &sid))
        ThrowWithCode("AllocateAndInitializeSid failed: ", GetLastError());
    const SidGuard guard(sid);
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, sid, &member)) {
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED)
            return false;
        ThrowWithCode("CheckTokenMembership failed: ", error);
    }
    return member != FALSE;
}

std::wstring GetMakerProgramDataFolder()
{
    return GetProgramDataFolder() + L"\\Halvex";
}

LocalMemoryGuard CreateProgramDataSecurityDescriptor()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kProgramDataSddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        ThrowWithCode("ConvertStringSecurityDescriptorToSecurityDescriptorW failed: ", GetLastError());
    return LocalMemoryGuard(descriptor);
}

void EnsureProgramDataFolder(bool bypassOwnershipCheck)
{
    EnsureProgramDataFolder(bypassOwnershipCheck, GetMakerProgramDataFolder());
}

void EnsureProgramDataFolder(bool bypassOwnershipCheck, const std::wstring& folder)
{
    const LocalMemoryGuard descriptor = CreateProgramDataSecurityDescriptor();
    const FileHandleGuard entry =
        OpenEntry(folder, bypassOwnershipCheck ? FILE_READ_ATTRIBUTES : FILE_READ_ATTRIBUTES | READ_CONTROL);
    if (!entry) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            ThrowWithCode("CreateFileW failed: ", error);
    }
    const DWORD attributes = entry ? AttributesOf(entry.get()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // A file in the way makes this fail with the system's code.
        SECURITY_ATTRIBUTES security{sizeof(security), descriptor.get(), FALSE};
        if (!CreateDirectoryW(folder.c_str(), &security))
            ThrowWithCode("Failed to create Halvex ProgramData folder: ", GetLastError());
        return;
    }
    if (bypassOwnershipCheck)
        return;
    PSID owner = nullptr;
    const LocalMemoryGuard ownerDescriptor = OwnerOf(entry.get(), owner);
    if (IsRefusedProgramDataFolder(attributes, owner))
        UTILITIES_THROW(std::runtime_error(kProgramDataNotOwnedMessage));
}

bool IsTrustedOwner(PSID owner)
{
    return owner != nullptr &&
           (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid));
}

bool IsRefusedProgramDataFolder(DWORD attributes, PSID owner)
{
    // A junction or symbolic link would pass on its own owner while everything below it
    // resolves somewhere else: a planted link is refused like a planted folder.
    return !(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
           !IsTrustedOwner(owner);
}

bool IsOwnedByBuiltinAdministrators(const std::wstring& path)
{
    const FileHandleGuard entry = OpenEntry(path, READ_CONTROL);
    if (!entry)
        ThrowWithCode("CreateFileW failed: ", GetLastError());
    PSID owner = nullptr;
    const LocalMemoryGuard descriptor = OwnerOf(entry.get(), owner);
    return IsTrustedOwner(owner);
}

}  // namespace utilities
