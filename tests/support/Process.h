#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace test {

struct ProcessResult {
    DWORD exitCode = 0;
    // What the program wrote with OutputDebugString, when asked for (captureDebugOutput).
    std::wstring debugOutput;
};

// Runs a program to its end with the given command line and environment changes (a value of
// nullopt removes the variable); the child inherits the rest of this process's environment. Tests
// that capture the debug output must share one ctest resource lock (one monitor at a time).
ProcessResult RunProcess(const std::wstring& program, const std::wstring& arguments,
                         const std::map<std::wstring, std::optional<std::wstring>>& environment = {},
                         DWORD timeoutMs = 60'000, bool captureDebugOutput = false);

// A path of the build tree (Unix form, as CMake knows it) as Wine sees it.
std::wstring FromBuildPath(const char* unixPath);

}  // namespace test
