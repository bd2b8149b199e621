#include "Utilities/ProcessorArchitecture.h"

#include "Utilities/LogStatement.h"

namespace utilities {

std::optional<USHORT> QueryNativeMachine(const char* functionName)
{
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32");
    if (kernel32 == nullptr) {
        const DWORD error = GetLastError();
        LOG_ERROR << "GetModuleHandle(kernel32) failed. Error: " << error;
        return std::nullopt;
    }
    using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    const auto isWow64Process2 =
        reinterpret_cast<IsWow64Process2Function>(reinterpret_cast<void*>(GetProcAddress(kernel32, functionName)));
    if (isWow64Process2 == nullptr) {
        const DWORD error = GetLastError();
        if (error == ERROR_PROC_NOT_FOUND) {
            LOG_INFO << "IsWow64Process2 not available on older platforms";
            return std::nullopt;
        }
        LOG_WARNING << "GetProcAddress(IsWow64Process2) failed. Error: " << error;
        return 0;
    }
    USHORT processMachine = 0;
    USHORT nativeMachine = 0;
    if (!isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine)) {
        const DWORD error = GetLastError();
        LOG_ERROR << "IsWow64Process2 failed. Error: " << error;
        return 0;
    }
    return nativeMachine;
}

ProcessorArchitecture ToProcessorArchitecture(std::optional<USHORT> nativeMachine, WORD systemInfoArchitecture)
{
    if (nativeMachine) {
        switch (*nativeMachine) {
        case IMAGE_FILE_MACHINE_I386:
            return ProcessorArchitecture::X86;
        case IMAGE_FILE_MACHINE_AMD64:
            return ProcessorArchitecture::X64;
        case IMAGE_FILE_MACHINE_ARM64:
            return ProcessorArchitecture::ARM64;
        default:
            return ProcessorArchitecture::Other;
        }
    }
    switch (systemInfoArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
        return ProcessorArchitecture::X86;
    case PROCESSOR_ARCHITECTURE_AMD64:
        return ProcessorArchitecture::X64;
    default:
        return ProcessorArchitecture::Other;
    }
}

ProcessorArchitecture GetProcessorArchitecture()
{
    const std::optional<USHORT> nativeMachine = QueryNativeMachine();
    SYSTEM_INFO info{};
    if (!nativeMachine)
        GetNativeSystemInfo(&info);
    return ToProcessorArchitecture(nativeMachine, info.wProcessorArchitecture);
}

}  // namespace utilities
