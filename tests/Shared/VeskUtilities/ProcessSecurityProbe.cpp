// A program that hardens itself as the installer does, with the expected user and session given
// as numbers on its command line, and tells through its exit code what it found afterwards:
//   0: PATH is gone from its own environment and from that of a child it starts;
//   1: the child has PATH; 2: this process still has PATH; 3: bad command line;
//   4: the child could not be started.
// A refused start ends in the hardening itself (exit code 105 and a debugger line).
// "ProcessSecurityProbe report-path" is the child: 0 without PATH, 1 with it.
#include <windows.h>

#include <cwchar>
#include <string>

#include "Shared/VeskUtilities/ProcessSecurity.h"

namespace {

bool HasPath()
{
    wchar_t value[8];
    // An empty value also reads as length 0; only this error says the variable is missing.
    SetLastError(ERROR_SUCCESS);
    return GetEnvironmentVariableW(L"PATH", value, 8) != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

DWORD RunChild()
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return 4;
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" report-path";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
        return 4;
    DWORD exitCode = 4;
    if (WaitForSingleObject(child.hProcess, 60'000) != WAIT_OBJECT_0 || !GetExitCodeProcess(child.hProcess, &exitCode))
        exitCode = 4;
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return exitCode;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && std::wcscmp(argv[1], L"report-path") == 0)
        return HasPath() ? 1 : 0;
    if (argc != 3)
        return 3;
    Vesk::Utilities::ProcessSecurityOptions options;
    options.expectedUser = static_cast<Vesk::Utilities::ExpectedUser>(std::wcstol(argv[1], nullptr, 10));
    options.expectedSession = static_cast<Vesk::Utilities::ExpectedSession>(std::wcstol(argv[2], nullptr, 10));
    Vesk::Utilities::ConfigureProcessSecurity(options);
    if (HasPath())
        return 2;
    return static_cast<int>(RunChild());
}
