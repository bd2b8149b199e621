#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "Shared/VeskUtilities/WinlibRegistry.h"

namespace Vesk::Utilities {

// The facts about the running Windows in one value: the kernel's version numbers, the marketing
// names from the registry, and whether the process runs under WOW64 on an ARM64 machine.
// Diagnostics go to the in-house logger.
class OSInfo {
public:
    // The running system. Throws only when RtlGetVersion fails or the system's CurrentVersion key
    // cannot be opened; every other problem is logged and leaves the field empty or 0.
    OSInfo();
    // The same, with the registry names read from another key (the system's is HKLM
    // "SOFTWARE\Microsoft\Windows NT\CurrentVersion" in the 64-bit view).
    explicit OSInfo(const winlib::registry::RegistryKeyPath& currentVersionKey);

    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint16_t servicePackMajor = 0;
    std::uint16_t servicePackMinor = 0;
    std::uint16_t suiteMask = 0;
    std::uint32_t platformId = 0;
    std::uint8_t productType = 0;
    std::wstring productName;  // corrected for Windows 11
    std::wstring csdVersion;
    std::wstring releaseId;
    std::wstring displayVersion;
    std::uint32_t ubr = 0;  // update build revision
    std::wstring installationType;
    bool isWow64 = false;
    bool isArm64 = false;  // the native machine is ARM64
};

// Windows 11 still names itself 10 in the registry: from build 22000 on, version 10.0 becomes
// major version 11 and every whole word "10" in the product name becomes "11".
void CorrectForWindows11(std::uint32_t& majorVersion, std::uint32_t minorVersion, std::uint32_t buildNumber,
                         std::wstring& productName);

// The native machine type from IsWow64Process2 (IMAGE_FILE_MACHINE_*), or 0 when it cannot be
// learned.
std::uint16_t GetNativeMachine();

}  // namespace Vesk::Utilities
