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

}  // namespace

ProcessResult RunProcess(const std::wstring& program, const std::wstring& arguments,
                         const std::map<std::wstring, std::optional<std::wstring>>& environment, DWORD timeoutMs)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    {
        const EnvironmentOverride override(environment);
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info))
            throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
    }
    const Handle process(info.hProcess);
    const Handle thread(info.hThread);
    if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 99);
        throw std::runtime_error("process did not end in time: " + WideToUtf8(commandLine));
    }
    ProcessResult result;
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
