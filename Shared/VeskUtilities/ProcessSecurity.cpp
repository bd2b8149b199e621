#include "Shared/VeskUtilities/ProcessSecurity.h"

#include <cstddef>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <vector>

#include "halvlib/ErrorCategory.h"

namespace Vesk::Utilities {

namespace {

constexpr DWORD kSafeSearchModePermanent = BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT;
constexpr DWORD kSystemFolderOnly = LOAD_LIBRARY_SEARCH_SYSTEM32;

// The codes the delay-load helper raises: error severity, the Visual C++ facility (0x6D) and a
// system error code.
constexpr DWORD DelayLoadCode(DWORD error)
{
    return 0xC0000000 | (0x6D << 16) | (error & 0xFFFF);
}
constexpr DWORD kModuleNotFound = DelayLoadCode(ERROR_MOD_NOT_FOUND);
constexpr DWORD kProcedureNotFound = DelayLoadCode(ERROR_PROC_NOT_FOUND);

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// Closes through the given calls on every way out.
class OwnedHandle {
public:
    OwnedHandle(const ProcessSecurityApi& api, HANDLE handle) : api(api), handle(handle) {}
    ~OwnedHandle()
    {
        if (handle)
            api.closeHandle(handle);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE get() const { return handle; }

private:
    const ProcessSecurityApi& api;
    HANDLE handle;
};

void Configure(const ProcessSecurityApi& api)
{
    if (!api.setSearchPathMode(kSafeSearchModePermanent))
        ThrowLastError("SetSearchPathMode failed");
    // The empty string takes the current folder out of the library search.
    if (!api.setDllDirectory(L""))
        ThrowLastError("SetDllDirectoryW failed");
    const HMODULE kernel32 = api.getModuleHandle(L"Kernel32.dll");
    if (!kernel32)
        ThrowLastError("GetModuleHandleW failed");
    // Systems without it still have the safe search mode above.
    if (const FARPROC found = api.getProcAddress(kernel32, "SetDefaultDllDirectories")) {
        const auto setDefaultDllDirectories =
            reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(found));
        if (!setDefaultDllDirectories(kSystemFolderOnly))
            ThrowLastError("SetDefaultDllDirectories failed");
    }
    // Child processes then inherit no PATH either.
    if (!api.setEnvironmentVariable(L"PATH", nullptr))
        ThrowLastError("SetEnvironmentVariableW failed");
    const HANDLE heap = api.getProcessHeap();
    if (!heap)
        ThrowLastError("GetProcessHeap failed");
    if (!api.heapSetInformation(heap, HeapEnableTerminationOnCorruption, nullptr, 0))
        ThrowLastError("HeapSetInformation failed");
}

WELL_KNOWN_SID_TYPE WellKnownSidType(ExpectedUser user)
{
    switch (user) {
    case ExpectedUser::LocalService:
        return WinLocalServiceSid;
    case ExpectedUser::LocalSystem:
        return WinLocalSystemSid;
    default:
        throw std::logic_error("No well known SID type for expected user");
    }
}

const char* WellKnownSidString(ExpectedUser user)
{
    switch (user) {
    case ExpectedUser::LocalService:
        return "S-1-5-19";
    case ExpectedUser::LocalSystem:
        return "S-1-5-18";
    default:
        throw std::logic_error("No SID string for expected user");
    }
}

void CheckUser(const ProcessSecurityApi& api, HANDLE token, ExpectedUser expected)
{
    DWORD size = 0;
    if (!api.getTokenInformation(token, TokenUser, nullptr, 0, &size)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER)
            ThrowSystemError(static_cast<int>(error), "GetTokenInformation TokenUser failed to obtain buffer size");
    }
    std::vector<BYTE> buffer(size);
    if (!api.getTokenInformation(token, TokenUser, buffer.data(), size, &size))
        ThrowLastError("GetTokenInformation TokenUser failed");
    const PSID user = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    if (api.isWellKnownSid(user, WellKnownSidType(expected)))
        return;

    std::string text = std::string("Not running as expected user.") + "Expected SID " + WellKnownSidString(expected);
    char* converted = nullptr;
    if (api.convertSidToStringSid(user, &converted)) {
        text += ", actual SID ";
        text += converted;
        api.localFree(converted);
    } else {
        text += ", actual SID cannot be converted to string due to error: " + std::to_string(GetLastError());
    }
    throw std::runtime_error(text);
}

void CheckSession(const ProcessSecurityApi& api, HANDLE token, ExpectedSession expected)
{
    DWORD session = 0;
    DWORD size = 0;
    if (!api.getTokenInformation(token, TokenSessionId, &session, sizeof(session), &size))
        ThrowLastError("GetTokenInformation TokenSessionId failed");
    if (expected != ExpectedSession::SessionZero || session != 0)
        throw std::runtime_error("Not running under expected session");
}

void Validate(const ProcessSecurityApi& api, const ProcessSecurityOptions& options)
{
    const OwnedHandle process(api, api.openProcess(PROCESS_QUERY_INFORMATION, FALSE, api.getCurrentProcessId()));
    if (!process.get())
        ThrowLastError("OpenProcess failed");
    HANDLE tokenHandle = nullptr;
    const BOOL opened = api.openProcessToken(process.get(), TOKEN_QUERY, &tokenHandle);
    const OwnedHandle token(api, opened ? tokenHandle : nullptr);
    if (!opened || !token.get())
        ThrowLastError("OpenProcessToken failed");
    if (options.expectedUser != ExpectedUser::None)
        CheckUser(api, token.get(), options.expectedUser);
    if (options.expectedSession != ExpectedSession::None)
        CheckSession(api, token.get(), options.expectedSession);
}

// Whether LoadLibraryExW knows the LOAD_LIBRARY_SEARCH_* flags: they came with
// SetDefaultDllDirectories.
bool SystemFolderSearchAvailable()
{
    const HMODULE kernel32 = GetModuleHandleW(L"Kernel32.dll");
    return kernel32 && GetProcAddress(kernel32, "SetDefaultDllDirectories");
}

bool IsWritable(DWORD protection)
{
    return (protection & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Writes one pointer-sized slot of the image, opening a read-only page for the write and closing
// it again afterwards. Returns the system error code of a failure, 0 on success.
DWORD WriteSlot(ULONG_PTR* slot, ULONG_PTR value)
{
    MEMORY_BASIC_INFORMATION region{};
    if (!VirtualQuery(slot, &region, sizeof(region)))
        return GetLastError();
    if (IsWritable(region.Protect)) {
        *slot = value;
        return 0;
    }
    const bool executable = (region.Protect & (PAGE_EXECUTE | PAGE_EXECUTE_READ)) != 0;
    DWORD previous = 0;
    if (!VirtualProtect(slot, sizeof(*slot), executable ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE, &previous))
        return GetLastError();
    *slot = value;
    DWORD ignored = 0;
    VirtualProtect(slot, sizeof(*slot), previous, &ignored);
    return 0;
}

HMODULE LoadDelayedLibrary(const char* name, DWORD flags)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (length <= 0)
        return nullptr;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide.data(), length) <= 0)
        return nullptr;
    return LoadLibraryExW(wide.c_str(), nullptr, flags);
}

// Resolves the entries of one library as the delay-load helper would, one import address table
// entry at a time; the library is loaded with the first entry.
DWORD ResolveDescriptor(BYTE* base, const IMAGE_DELAYLOAD_DESCRIPTOR& descriptor, DWORD libraryFlags)
{
    // Descriptors that hold addresses in place of offsets come from linkers of long ago.
    if (!descriptor.Attributes.RvaBased)
        return DelayLoadCode(ERROR_INVALID_PARAMETER);
    auto* addresses = reinterpret_cast<ULONG_PTR*>(base + descriptor.ImportAddressTableRVA);
    const auto* names = reinterpret_cast<const ULONG_PTR*>(base + descriptor.ImportNameTableRVA);
    auto* moduleSlot =
        descriptor.ModuleHandleRVA ? reinterpret_cast<ULONG_PTR*>(base + descriptor.ModuleHandleRVA) : nullptr;
    HMODULE module = moduleSlot ? reinterpret_cast<HMODULE>(*moduleSlot) : nullptr;

    std::size_t count = 0;
    while (addresses[count] != 0)
        ++count;
    for (std::size_t i = 0; i < count; ++i) {
        if (!module) {
            module = LoadDelayedLibrary(reinterpret_cast<const char*>(base + descriptor.DllNameRVA), libraryFlags);
            if (!module)
                return kModuleNotFound;
            if (moduleSlot) {
                if (const DWORD error = WriteSlot(moduleSlot, reinterpret_cast<ULONG_PTR>(module)))
                    return DelayLoadCode(error);
            }
        }
        const ULONG_PTR name = names[i];
        FARPROC procedure = nullptr;
        if (name != 0 && IMAGE_SNAP_BY_ORDINAL(name))
            procedure = GetProcAddress(module, MAKEINTRESOURCEA(IMAGE_ORDINAL(name)));
        else if (name != 0)
            procedure = GetProcAddress(module, reinterpret_cast<const char*>(
                                                   reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name)->Name));
        if (!procedure)
            return kProcedureNotFound;
        if (const DWORD error = WriteSlot(&addresses[i], reinterpret_cast<ULONG_PTR>(procedure)))
            return DelayLoadCode(error);
    }
    return 0;
}

}  // namespace

std::optional<std::string> ApplyProcessSecurity(const ProcessSecurityOptions& options, const ProcessSecurityApi& api)
{
    try {
        Configure(api);
    } catch (const std::exception& e) {
        return std::string("Process security configuration failed: ") + e.what();
    }
    try {
        Validate(api, options);
    } catch (const std::exception& e) {
        return std::string("Process security validation failed: ") + e.what();
    }
    return std::nullopt;
}

void TerminateWithMessage(const char* text)
{
    OutputDebugStringA(text);
    TerminateProcess(GetCurrentProcess(), kProcessSecurityFailedExitCode);
    ExitProcess(kProcessSecurityFailedExitCode);  // not reached
}

void ConfigureProcessSecurity(const ProcessSecurityOptions& options)
{
    std::optional<std::string> failure;
    try {
        failure = ApplyProcessSecurity(options, ProcessSecurityApi());
    } catch (...) {
        // Only running out of memory while composing the line gets here.
        TerminateWithMessage("Process security configuration failed");
    }
    if (failure)
        TerminateWithMessage(failure->c_str());
    LoadAllImports();
}

DWORD ResolveDelayImports(HMODULE image)
{
    auto* base = reinterpret_cast<BYTE*>(image);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (headers->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT)
        return 0;
    const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
    if (directory.Size == 0)
        return 0;
    const DWORD libraryFlags = SystemFolderSearchAvailable() ? kSystemFolderOnly : 0;
    const auto* descriptors = reinterpret_cast<const IMAGE_DELAYLOAD_DESCRIPTOR*>(base + directory.VirtualAddress);
    // The table ends with a descriptor without a name or with the directory, whichever comes
    // first: what follows the directory is not part of the table.
    const std::size_t count = directory.Size / sizeof(IMAGE_DELAYLOAD_DESCRIPTOR);
    for (std::size_t i = 0; i < count && descriptors[i].DllNameRVA != 0; ++i) {
        if (const DWORD code = ResolveDescriptor(base, descriptors[i], libraryFlags))
            return code;
    }
    return 0;
}

void LoadAllImports()
{
    const DWORD code = ResolveDelayImports(GetModuleHandleW(nullptr));
    if (code == 0)
        return;
    char text[100];
    if (std::snprintf(text, sizeof(text), "LoadAllImports failed: %lu", static_cast<unsigned long>(code)) > 0)
        OutputDebugStringA(text);
    TerminateProcess(GetCurrentProcess(), kDelayLoadFailedExitCode);
    ExitProcess(kDelayLoadFailedExitCode);  // not reached
}

}  // namespace Vesk::Utilities
