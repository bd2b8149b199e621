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
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SECURITY_ATTRIBUTES security{sizeof(security), descriptor.get(), FALSE};
        if (!CreateDirectoryW(folder.c_str(), &security))
            ThrowWithCode("Failed to create Halvex ProgramData folder: ", GetLastError());
        return;
    }
    if (bypassOwnershipCheck)
        return;
    // A junction or symbolic link passes the owner test through its target while everything
    // below it resolves somewhere else: a planted link is refused like a planted folder.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsOwnedByBuiltinAdministrators(folder))
        UTILITIES_THROW(std::runtime_error(kProgramDataNotOwnedMessage));
}

bool IsTrustedOwner(PSID owner)
{
    return owner != nullptr &&
           (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid));
}

bool IsOwnedByBuiltinAdministrators(const std::wstring& path)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                               nullptr, nullptr, nullptr, &descriptor);
    const LocalMemoryGuard guard(descriptor);
    if (status != ERROR_SUCCESS)
        ThrowWithCode("GetNamedSecurityInfoW failed: ", status);
    return IsTrustedOwner(owner);
}

}  // namespace utilities
