#include "support/Process.h"

#include <algorithm>
#include <cstring>
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

// Collects what one child writes with OutputDebugString through the system's debug-output buffer,
// the channel that debug-output viewers read. Being the child's debugger would collect it too, but
// 64-bit Wine resumes a debugged process after a first-chance exception with some of its saved
// registers zeroed, so the child crashes after its first caught C++ exception. One monitor at a
// time: the tests that use it share a ctest resource lock.
class DebugOutputMonitor {
public:
    static constexpr DWORD kBufferSize = 4096;

    DebugOutputMonitor()
        : bufferReady(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
          dataReady(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
          mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, L"DBWIN_BUFFER"))
    {
        if (!bufferReady || !dataReady || !mapping)
            throw std::runtime_error("Cannot make the debug-output buffer: " + std::to_string(GetLastError()));
        if (GetLastError() == ERROR_ALREADY_EXISTS)
            throw std::runtime_error("Another debug-output monitor is running");
        view = static_cast<const char*>(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, kBufferSize));
        if (!view)
            throw std::runtime_error("MapViewOfFile failed: " + std::to_string(GetLastError()));
    }
    ~DebugOutputMonitor() { UnmapViewOfFile(view); }
    DebugOutputMonitor(const DebugOutputMonitor&) = delete;
    DebugOutputMonitor& operator=(const DebugOutputMonitor&) = delete;

    // The child's text, collected until it has exited.
    std::wstring Collect(HANDLE process, DWORD processId, DWORD timeoutMs)
    {
        std::wstring text;
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        const HANDLE events[] = {dataReady.get(), process};
        for (;;) {
            SetEvent(bufferReady.get());
            const ULONGLONG now = GetTickCount64();
            // A string written just before the exit is signalled first and so read first.
            const DWORD which = now < deadline ? WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(deadline - now))
                                               : WAIT_TIMEOUT;
            if (which == WAIT_OBJECT_0 + 1)
                return text;
            if (which != WAIT_OBJECT_0) {
                TerminateProcess(process, 99);
                throw std::runtime_error("process did not end in time");
            }
            DWORD writer = 0;
            std::memcpy(&writer, view, sizeof(writer));
            if (writer == processId) {
                const char* string = view + sizeof(writer);
                text += Narrow(std::string(string, strnlen(string, kBufferSize - sizeof(writer))));
            }
        }
    }

private:
    // The buffer holds the system's code page.
    static std::wstring Narrow(const std::string& bytes)
    {
        if (bytes.empty())
            return {};
        std::wstring wide(bytes.size(), L'\0');
        const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                                               static_cast<int>(wide.size()));
        wide.resize(length > 0 ? length : 0);
        return wide;
    }

    Handle bufferReady;
    Handle dataReady;
    Handle mapping;
    const char* view = nullptr;
};

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
    // Made before the child starts, so that none of its output goes unread.
    std::optional<DebugOutputMonitor> monitor;
    if (captureDebugOutput)
        monitor.emplace();
    {
        const EnvironmentOverride override(environment);
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info))
            throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
    }
    const Handle process(info.hProcess);
    const Handle thread(info.hThread);
    ProcessResult result;
    if (monitor) {
        result.debugOutput = monitor->Collect(info.hProcess, info.dwProcessId, timeoutMs);
    } else if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) {
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
