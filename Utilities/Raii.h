#pragma once

#include <windows.h>

#include <cstdio>

#include "Utilities/StaticRaii.h"

// Release functions of the installer's own handles. A release that fails means the process has
// lost track of what it owns: the failure is logged and the process ends.
namespace utilities::Raii {

void CloseHandle(HANDLE handle);
void CloseFileHandle(HANDLE handle);  // a failed close is ignored
void CloseStream(FILE* stream);
void CloseFileDescriptor(int descriptor);
void CloseKey(HKEY key);
void CoTaskMemFreePwstr(wchar_t* text);
void FreeArgvw(wchar_t** argv);
void FreeLocal(HLOCAL memory);
void FreeSidPointer(PSID sid);

}  // namespace utilities::Raii

using HandleGuard = StaticRaii<HANDLE, &utilities::Raii::CloseHandle>;
using KeyGuard = StaticRaii<HKEY, &utilities::Raii::CloseKey>;
using StreamGuard = StaticRaii<FILE*, &utilities::Raii::CloseStream>;
using FileDescriptorGuard = StaticRaii<int, &utilities::Raii::CloseFileDescriptor, -1>;
using ShellStringGuard = StaticRaii<wchar_t*, &utilities::Raii::CoTaskMemFreePwstr>;
using ArgvGuard = StaticRaii<wchar_t**, &utilities::Raii::FreeArgvw>;
using LocalMemoryGuard = StaticRaii<HLOCAL, &utilities::Raii::FreeLocal>;
using SidGuard = StaticRaii<PSID, &utilities::Raii::FreeSidPointer>;

// A file handle, whose empty value is INVALID_HANDLE_VALUE rather than null.
class FileHandleGuard : public StaticRaii<HANDLE, &utilities::Raii::CloseFileHandle, -1> {
public:
    using StaticRaii<HANDLE, &utilities::Raii::CloseFileHandle, -1>::StaticRaii;

    // Closes now and reports a failed close with std::runtime_error "CloseHandle: <code>"; the
    // guard is empty afterwards either way.
    void CloseHandleChecked();
};
