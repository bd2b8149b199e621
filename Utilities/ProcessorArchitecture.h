#pragma once

#include <windows.h>

#include <optional>

enum class ProcessorArchitecture : int { Other = 0, X86 = 1, X64 = 2, ARM64 = 3 };

namespace utilities {

// The machine's native processor from IsWow64Process2: no value where the function does not
// exist (older systems), 0 when asking failed. The function name is a parameter for tests.
std::optional<USHORT> QueryNativeMachine(const char* functionName = "IsWow64Process2");

ProcessorArchitecture GetProcessorArchitecture();
// The mapping behind GetProcessorArchitecture: the native machine when known, else the system
// information's processor architecture.
ProcessorArchitecture ToProcessorArchitecture(std::optional<USHORT> nativeMachine, WORD systemInfoArchitecture);

}  // namespace utilities
