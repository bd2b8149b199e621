#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Installer/Stage1Settings.h"
#include "Installer/Stage2Argument.h"

namespace S1 {

inline constexpr wchar_t kStage2ProgramName[] = L"HalvexInstall_Stage2.exe";

// What one start of stage 2 needs, and the child's process id once it has started.
struct Stage2Run {
    std::wstring programName = kStage2ProgramName;
    Stage1Settings settings;
    std::wstring workingFolder;
    std::vector<Stage2Argument> extraArguments;
    DWORD processId = 0;
};

// The text of a value between the double quotes of an item, by the rules of CommandLineToArgvW:
// a quote gets one backslash, backslashes before a quote or at the end are doubled. Throws
// std::invalid_argument for a NUL character, which would cut the command line short.
std::wstring escapeCommandLineArgument(const std::wstring& value);

// The items of the settings in their fixed order, the pipe's write handle among them. Throws
// std::runtime_error "Logger not initialised" before the trace log has a file.
std::wstring buildStage2CommandLine(const Stage1Settings& settings, HANDLE pipeWriteHandle);

// The whole command line: the quoted program path, the items and the extra arguments. Throws
// std::invalid_argument for an extra argument's name that is not letters and digits.
std::wstring buildStage2ProcessCommandLine(const Stage2Run& run, HANDLE pipeWriteHandle);

// Starts stage 2, reads its 8-byte answer and waits for it; returns whether the machine must
// restart. Throws Setup::FatalError LaunchFailure when stage 2 cannot start or its exit code
// cannot be read, std::runtime_error for a bad answer or a non-zero exit code.
bool runSetupProgram(Stage2Run& run);

}  // namespace S1
