#pragma once

#include <windows.h>
#include <sddl.h>

#include <functional>
#include <optional>
#include <string>

// The first thing the process does: narrow where libraries may come from, drop PATH from its own
// environment, end the process on heap corruption, optionally prove the account and the session it
// runs in, and resolve every delay-loaded import while the search order is already safe. None of
// this ever comes back with a failure: one line goes to the debugger output and the process ends
// at once, without destructors or exit handlers (nothing else is set up yet to report it).
namespace Vesk::Utilities {

enum class ExpectedUser { None = 0, LocalService = 1, LocalSystem = 2 };
// Any value but these two fails the session check.
enum class ExpectedSession { None = 0, SessionZero = 1 };

struct ProcessSecurityOptions {
    ExpectedUser expectedUser = ExpectedUser::None;
    ExpectedSession expectedSession = ExpectedSession::None;
};

// Exit codes of a process that ended here.
constexpr UINT kProcessSecurityFailedExitCode = 105;
constexpr UINT kDelayLoadFailedExitCode = 106;

// Hardens and validates the process, then calls LoadAllImports. Returns only when every step
// succeeded; otherwise ends the process with exit code 105.
void ConfigureProcessSecurity(const ProcessSecurityOptions& options);

// Resolves every delay-loaded import of the running image now. A library or procedure that cannot
// be found ends the process with exit code 106 after the debugger line "LoadAllImports failed: "
// and the delay-load exception code in decimal.
void LoadAllImports();

// Writes the text to the debugger output and ends the process with exit code 105.
[[noreturn]] void TerminateWithMessage(const char* text);

// The system calls of the hardening and validation steps. The process uses the real ones; tests
// give their own, to see the steps in order and to make any one of them fail.
struct ProcessSecurityApi {
    std::function<BOOL(DWORD)> setSearchPathMode = &::SetSearchPathMode;
    std::function<BOOL(LPCWSTR)> setDllDirectory = &::SetDllDirectoryW;
    std::function<HMODULE(LPCWSTR)> getModuleHandle = &::GetModuleHandleW;
    std::function<FARPROC(HMODULE, LPCSTR)> getProcAddress = &::GetProcAddress;
    std::function<BOOL(LPCWSTR, LPCWSTR)> setEnvironmentVariable = &::SetEnvironmentVariableW;
    std::function<HANDLE()> getProcessHeap = &::GetProcessHeap;
    std::function<BOOL(HANDLE, HEAP_INFORMATION_CLASS, PVOID, SIZE_T)> heapSetInformation = &::HeapSetInformation;
    std::function<DWORD()> getCurrentProcessId = &::GetCurrentProcessId;
    std::function<HANDLE(DWORD, BOOL, DWORD)> openProcess = &::OpenProcess;
    std::function<BOOL(HANDLE, DWORD, PHANDLE)> openProcessToken = &::OpenProcessToken;
    std::function<BOOL(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD)> getTokenInformation =
        &::GetTokenInformation;
    std::function<BOOL(PSID, WELL_KNOWN_SID_TYPE)> isWellKnownSid = &::IsWellKnownSid;
    std::function<BOOL(PSID, LPSTR*)> convertSidToStringSid = &::ConvertSidToStringSidA;
    std::function<HLOCAL(HLOCAL)> localFree = &::LocalFree;
    std::function<BOOL(HANDLE)> closeHandle = &::CloseHandle;
};

// The configuration and validation steps through the given calls, without ending the process:
// empty when every step succeeded, otherwise the line that ConfigureProcessSecurity sends to
// TerminateWithMessage. Delay-loaded imports are not touched.
std::optional<std::string> ApplyProcessSecurity(const ProcessSecurityOptions& options, const ProcessSecurityApi& api);

// The walk of LoadAllImports over the image loaded at the given address, without ending the
// process: 0 when every entry was resolved (or there is nothing to resolve), otherwise the
// delay-load exception code of the first failure: 0xC06D007E for a library that cannot be loaded,
// 0xC06D007F for a procedure it does not export, 0xC06D0000 with a system error code in the low
// word for an entry that cannot be read or written.
DWORD ResolveDelayImports(HMODULE image);

}  // namespace Vesk::Utilities
