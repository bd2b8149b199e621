#include "Shared/VeskUtilities/SingleInstanceEvent.h"

#include <winternl.h>

#include <cstring>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "Utilities/Raii.h"
#include "Utilities/Throw.h"

namespace Vesk::Utilities {

namespace {

// Stands in for an unreadable creation time, so that such machines still agree on one name.
constexpr std::uint64_t kFallbackVolumeCreationTime = 0x87AEACB68F3583DAULL;
constexpr std::uint32_t kLowMask = 0xEAF10254;
constexpr std::uint32_t kHighMask = 0x95662BA3;

// Native-layer values, spelt out so that the code does not depend on which of them a given
// winternl.h declares.
constexpr ULONG kFileFsVolumeInformation = 1;
constexpr ULONG kShareReadWriteDelete = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kSynchronousIoNonAlert = 0x20;
constexpr ULONG kVolumeInformationBytes = 88;

using NtOpenFileFunction = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG,
                                            ULONG);
using NtQueryVolumeInformationFileFunction = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using NtCloseFunction = NTSTATUS(NTAPI*)(HANDLE);

struct NativeEntryPoints {
    NtOpenFileFunction openFile = nullptr;
    NtQueryVolumeInformationFileFunction queryVolumeInformation = nullptr;
    NtCloseFunction close = nullptr;
};

template <class Function>
Function Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const NativeEntryPoints& Native()
{
    static const NativeEntryPoints entryPoints = [] {
        NativeEntryPoints found;
        HMODULE ntdll = nullptr;
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, "ntdll", &ntdll) && ntdll) {
            found.openFile = Lookup<NtOpenFileFunction>(ntdll, "NtOpenFile");
            found.queryVolumeInformation =
                Lookup<NtQueryVolumeInformationFileFunction>(ntdll, "NtQueryVolumeInformationFile");
            found.close = Lookup<NtCloseFunction>(ntdll, "NtClose");
        }
        return found;
    }();
    return entryPoints;
}

[[noreturn]] void ThrowWithCode(const char* what, DWORD code)
{
    UTILITIES_THROW(std::runtime_error(std::string(what) + std::to_string(code)));
}

// BUILTIN\Users may do everything with the event, so that a stage 1 of any user in any session
// can find it and signal it.
class EventSecurity {
public:
    EventSecurity()
    {
        DWORD sidSize = sizeof(sid);
        if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, sid, &sidSize))
            ThrowWithCode("CreateWellKnownSid failed: ", GetLastError());
        auto* acl = reinterpret_cast<PACL>(aclBuffer);
        if (!InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION))
            ThrowWithCode("InitializeAcl failed: ", GetLastError());
        if (!AddAccessAllowedAce(acl, ACL_REVISION, EVENT_ALL_ACCESS, sid))
            ThrowWithCode("AddAccessAllowedAce failed: ", GetLastError());
        if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION))
            ThrowWithCode("InitializeSecurityDescriptor failed: ", GetLastError());
        if (!SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE))
            ThrowWithCode("SetSecurityDescriptorDacl failed: ", GetLastError());
        attributes.nLength = sizeof(attributes);
        attributes.lpSecurityDescriptor = &descriptor;
        attributes.bInheritHandle = FALSE;
    }
    EventSecurity(const EventSecurity&) = delete;
    EventSecurity& operator=(const EventSecurity&) = delete;

    SECURITY_ATTRIBUTES* Attributes() { return &attributes; }

private:
    alignas(DWORD) BYTE sid[SECURITY_MAX_SID_SIZE];
    alignas(DWORD) BYTE aclBuffer[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE];
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};
};

}  // namespace

std::wstring FormatHexLine(std::uint32_t value)
{
    std::wostringstream stream;
    stream << std::hex << value << std::endl;
    return stream.str();
}

std::wstring MachineSuffixFor(std::uint64_t volumeCreationTime)
{
    const std::uint64_t time = volumeCreationTime != 0 ? volumeCreationTime : kFallbackVolumeCreationTime;
    const auto low = static_cast<std::uint32_t>(time);
    const auto high = static_cast<std::uint32_t>(time >> 32);
    return FormatHexLine(low ^ kLowMask) + FormatHexLine(high ^ kHighMask);
}

std::uint64_t GetSystemVolumeCreationTime()
{
    const NativeEntryPoints& native = Native();
    if (!native.openFile || !native.queryVolumeInformation || !native.close)
        return 0;

    wchar_t path[] = L"\\systemroot";
    UNICODE_STRING name;
    name.Length = static_cast<USHORT>(sizeof(path) - sizeof(wchar_t));
    name.MaximumLength = name.Length;
    name.Buffer = path;
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof(attributes);
    attributes.RootDirectory = nullptr;
    attributes.ObjectName = &name;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    attributes.SecurityDescriptor = nullptr;
    attributes.SecurityQualityOfService = nullptr;

    HANDLE volume = nullptr;
    IO_STATUS_BLOCK status{};
    if (native.openFile(&volume, SYNCHRONIZE, &attributes, &status, kShareReadWriteDelete, kSynchronousIoNonAlert) != 0)
        return 0;
    // FILE_FS_VOLUME_INFORMATION: the creation time comes first; the rest is room for the label.
    alignas(std::uint64_t) BYTE information[kVolumeInformationBytes] = {};
    const NTSTATUS queried =
        native.queryVolumeInformation(volume, &status, information, sizeof(information), kFileFsVolumeInformation);
    native.close(volume);
    if (queried != 0)
        return 0;
    std::uint64_t creationTime = 0;
    std::memcpy(&creationTime, information, sizeof(creationTime));
    return creationTime;
}

std::wstring GetMachineSuffix()
{
    static const std::wstring suffix = MachineSuffixFor(GetSystemVolumeCreationTime());
    return suffix;
}

std::optional<HANDLE> CreateSingleInstanceEvent(std::wstring baseName)
{
    static const std::wstring name = L"Global\\" + std::move(baseName) + GetMachineSuffix();
    EventSecurity security;
    // A new event need not clear the last error; an old ERROR_ALREADY_EXISTS must not count.
    SetLastError(ERROR_SUCCESS);
    const HANDLE event = CreateEventW(security.Attributes(), TRUE, FALSE, name.c_str());
    const DWORD error = GetLastError();
    if (event == nullptr)
        ThrowWithCode("CreateEventW failed: ", error);
    if (error == ERROR_ALREADY_EXISTS) {
        // Holding the other instance's event would keep it alive past that instance.
        HandleGuard existing(event);
        return std::nullopt;
    }
    return event;
}

}  // namespace Vesk::Utilities
