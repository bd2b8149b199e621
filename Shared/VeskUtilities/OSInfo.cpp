#include "Shared/VeskUtilities/OSInfo.h"

#include <optional>
#include <regex>
#include <system_error>

#include "halvlib/ErrorCategory.h"
#include "halvlib/Logging.h"
#include "halvlib/String.h"

namespace Vesk::Utilities {

namespace {

constexpr std::uint32_t kWindows11FirstBuild = 22000;

const winlib::registry::RegistryKeyPath& SystemCurrentVersionKey()
{
    // The 64-bit view also from a 32-bit process: the WOW64 copy of this key lacks values.
    static const winlib::registry::RegistryKeyPath key(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    return key;
}

// System codes in the system's own English text, as the registry library's exceptions tell them.
std::string ErrorText(const std::error_code& error)
{
    if (error.category() == std::system_category() || error.category() == std::generic_category())
        return halvlib::string::GetErrorMessage(error.value(), halvlib::string::Decimal);
    return error.message();
}

void LogReadError(const wchar_t* name, const std::error_code& error)
{
    HALVLIB_LOG(halvlib::logging::Error)
        << "OSInfo: Unexpected error while reading optional value " << name << ": " << ErrorText(error);
}

std::wstring ReadOptionalString(HKEY key, const wchar_t* name)
{
    std::error_code error;
    std::optional<std::wstring> value = winlib::registry::QueryOptionalStringValue(name, key, error);
    if (error) {
        LogReadError(name, error);
        return {};
    }
    return value.value_or(std::wstring());
}

std::uint32_t ReadOptionalDword(HKEY key, const wchar_t* name)
{
    std::error_code error;
    const DWORD value = winlib::registry::QueryDwordValue(name, key, error);
    if (error == std::error_code(ERROR_FILE_NOT_FOUND, std::system_category()))
        return 0;
    if (error) {
        LogReadError(name, error);
        return 0;
    }
    return value;
}

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

}  // namespace

OSInfo::OSInfo() : OSInfo(SystemCurrentVersionKey())
{
}

OSInfo::OSInfo(const winlib::registry::RegistryKeyPath& currentVersionKey)
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) {
        const DWORD error = GetLastError();
        HALVLIB_LOG(halvlib::logging::Warning)
            << "Could not load ntdll.dll module handle: "
            << halvlib::string::GetErrorMessage(static_cast<int>(error), halvlib::string::Decimal);
        return;
    }

    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (rtlGetVersion != nullptr) {
        const LONG status = rtlGetVersion(&version);
        if (status != 0)
            ThrowSystemError(static_cast<int>(status), "Error calling RtlGetVersion");
    }

    BOOL wow64 = FALSE;
    isWow64 = IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
    isArm64 = GetNativeMachine() == IMAGE_FILE_MACHINE_ARM64;

    const winlib::registry::KeyHandle key = winlib::registry::OpenKey(
        currentVersionKey.Path(), currentVersionKey.Root(), KEY_READ, currentVersionKey.ViewFlags());

    majorVersion = version.dwMajorVersion;
    minorVersion = version.dwMinorVersion;
    buildNumber = version.dwBuildNumber;
    servicePackMajor = version.wServicePackMajor;
    servicePackMinor = version.wServicePackMinor;
    suiteMask = version.wSuiteMask;
    platformId = version.dwPlatformId;
    productType = version.wProductType;
    csdVersion = version.szCSDVersion;

    productName = ReadOptionalString(key.get(), L"ProductName");
    releaseId = ReadOptionalString(key.get(), L"ReleaseId");
    displayVersion = ReadOptionalString(key.get(), L"DisplayVersion");
    ubr = ReadOptionalDword(key.get(), L"UBR");
    installationType = ReadOptionalString(key.get(), L"InstallationType");

    CorrectForWindows11(majorVersion, minorVersion, buildNumber, productName);
}

void CorrectForWindows11(std::uint32_t& majorVersion, std::uint32_t minorVersion, std::uint32_t buildNumber,
                         std::wstring& productName)
{
    if (majorVersion != 10 || minorVersion != 0 || buildNumber < kWindows11FirstBuild)
        return;
    majorVersion = 11;
    static const std::wregex ten(L"\\b10\\b");
    productName = std::regex_replace(productName, ten, L"11");
}

std::uint16_t GetNativeMachine()
{
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) {
        const DWORD error = GetLastError();
        HALVLIB_LOG(halvlib::logging::Error) << "GetModuleHandle(kernel32) failed. Error: " << error;
        return 0;
    }
    const auto isWow64Process2 = reinterpret_cast<IsWow64Process2Function>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "IsWow64Process2")));
    if (isWow64Process2 == nullptr) {
        const DWORD error = GetLastError();
        if (error == ERROR_PROC_NOT_FOUND)
            HALVLIB_LOG(halvlib::logging::Info) << "IsWow64Process2 not available on older platforms";
        else
            HALVLIB_LOG(halvlib::logging::Warning) << "GetProcAddress(IsWow64Process2) failed. Error: " << error;
        return 0;
    }
    USHORT processMachine = 0;
    USHORT nativeMachine = 0;
    if (!isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine)) {
        const DWORD error = GetLastError();
        HALVLIB_LOG(halvlib::logging::Error) << "IsWow64Process2 failed. Error: " << error;
        return 0;
    }
    HALVLIB_LOG(halvlib::logging::Debug).appendFormat("IsWow64Process2: processMachine=%x nativeMachine=%x",
                                                      static_cast<unsigned>(processMachine),
                                                      static_cast<unsigned>(nativeMachine));
    return nativeMachine;
}

}  // namespace Vesk::Utilities
