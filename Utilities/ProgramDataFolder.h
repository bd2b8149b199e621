#pragma once

#include <windows.h>

#include <string>

#include "Utilities/Raii.h"

namespace utilities {

// True when the process token is a member of the built-in Administrators (a filtered token of
// an administrator without elevation is not).
bool IsUserAdministrator();

// "<program data>\Halvex".
std::wstring GetMakerProgramDataFolder();

// Creates the folder with its protective descriptor when it is missing; otherwise, unless
// bypassOwnershipCheck, refuses a folder that another user may have planted.
void EnsureProgramDataFolder(bool bypassOwnershipCheck);
void EnsureProgramDataFolder(bool bypassOwnershipCheck, const std::wstring& folder);

// The owner of the entry at path itself; a link there is not followed.
bool IsOwnedByBuiltinAdministrators(const std::wstring& path);
// The decision behind it: the built-in Administrators or LocalSystem, never a null owner.
bool IsTrustedOwner(PSID owner);
// Whether an existing folder with these attributes and this owner is refused: anything but a
// plain directory (a link or a file) or a directory of an untrusted owner.
bool IsRefusedProgramDataFolder(DWORD attributes, PSID owner);

LocalMemoryGuard CreateProgramDataSecurityDescriptor();

extern const char* const kProgramDataNotOwnedMessage;

}  // namespace utilities
