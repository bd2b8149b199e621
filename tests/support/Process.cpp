#include "support/Process.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

#include "halvlib/String.h"

namespace test {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// Applies the changes to this process's environment while the child is created, then restores it.
class EnvironmentOverride {
public:
    explicit EnvironmentOverride(const std::map<std::wstring, std::optional<std::wstring>>& changes)
    {
        for (const auto& [name, value] : changes) {
            std::vector<wchar_t> old(32768);
            const DWORD length = GetEnvironmentVariableW(name.c_str(), old.data(), static_cast<DWORD>(old.size()));
            saved.emplace_back(name, length ? std::optional<std::wstring>(std::wstring(old.data(), length))
                                            : std::nullopt);
            SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
        }
    }
    ~EnvironmentOverride()
    {
        for (const auto& [name, value] : saved)
            SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
    }

private:
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved;
};

// Runs the debug loop of a child started with DEBUG_ONLY_THIS_PROCESS until it exits.
void Debug(HANDLE process, DWORD timeoutMs, ProcessResult& result)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DEBUG_EVENT event{};
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline || !WaitForDebugEvent(&event, static_cast<DWORD>(deadline - now))) {
            TerminateProcess(process, 99);
            throw std::runtime_error("process did not end in time");
        }
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile)
                CloseHandle(event.u.LoadDll.hFile);
            break;
        case OUTPUT_DEBUG_STRING_EVENT: {
            const auto& info = event.u.DebugString;
            const std::size_t unit = info.fUnicode ? sizeof(wchar_t) : 1;
            std::vector<char> bytes(info.nDebugStringLength * unit);
            SIZE_T read = 0;
            ReadProcessMemory(process, info.lpDebugStringData, bytes.data(), bytes.size(), &read);
            if (info.fUnicode)
                result.debugOutput.append(reinterpret_cast<const wchar_t*>(bytes.data()), read / sizeof(wchar_t));
            else
                result.debugOutput += Utf8ToWide(std::string(bytes.data(), read));
            while (!result.debugOutput.empty() && result.debugOutput.back() == L'\0')
                result.debugOutput.pop_back();
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                continueStatus = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            result.exitCode = event.u.ExitProcess.dwExitCode;
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            return;
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
}

}  // namespace

ProcessResult RunProcess(const std::wstring& program, const std::wstring& arguments,
                         const std::map<std::wstring, std::optional<std::wstring>>& environment, DWORD timeoutMs,
                         bool captureDebugOutput)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    {
        const EnvironmentOverride override(environment);
        const DWORD flags = captureDebugOutput ? DEBUG_ONLY_THIS_PROCESS : 0;
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                            &startup, &info))
            throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
    }
    const Handle process(info.hProcess);
    const Handle thread(info.hThread);
    ProcessResult result;
    if (captureDebugOutput) {
        Debug(info.hProcess, timeoutMs, result);
        WaitForSingleObject(info.hProcess, timeoutMs);
        return result;
    }
    if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 99);
        throw std::runtime_error("process did not end in time: " + WideToUtf8(commandLine));
    }
    GetExitCodeProcess(info.hProcess, &result.exitCode);
    return result;
}

std::wstring FromBuildPath(const char* unixPath)
{
    std::wstring path = L"Z:" + Utf8ToWide(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

}  // namespace test
