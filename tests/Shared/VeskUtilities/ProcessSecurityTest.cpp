#include <windows.h>
#include <sddl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Shared/VeskUtilities/ProcessSecurity.h"
#include "halvlib/ErrorCategory.h"
#include "halvlib/String.h"
#include "support/Process.h"

using namespace Vesk::Utilities;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

constexpr DWORD kModuleNotFound = 0xC06D007E;
constexpr DWORD kProcedureNotFound = 0xC06D007F;

std::string SystemText(int code)
{
    return halvlib::string::GetErrorMessage(code, halvlib::string::Decimal);
}

std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%#lx", static_cast<unsigned long>(value));
    return text;
}

// The string form of this process's user SID (child processes run as the same user).
std::string CurrentUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return "OpenProcessToken failed";
    std::vector<BYTE> buffer(512);
    DWORD size = 0;
    std::string text = "GetTokenInformation failed";
    if (GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
        char* converted = nullptr;
        if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &converted)) {
            text = converted;
            LocalFree(converted);
        }
    }
    CloseHandle(token);
    return text;
}

DWORD CurrentSessionId()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

// The system seen by the hardening steps: every call is recorded; the calls that would change
// this test process are fakes, those that only read it go to the system (the test process's own
// token). The call named failAt fails with `error`.
class RecordingSystem {
public:
    std::vector<std::string> calls;
    std::string failAt;
    DWORD error = ERROR_ACCESS_DENIED;
    bool hasSetDefaultDllDirectories = true;
    std::optional<DWORD> sessionId;  // what the token's session reads as; the real one when empty
    BOOL isExpectedUser = FALSE;     // what IsWellKnownSid answers
    int openHandles = 0;             // opened through the calls and not closed yet

    RecordingSystem() { current = this; }
    ~RecordingSystem() { current = nullptr; }

    ProcessSecurityApi Api()
    {
        ProcessSecurityApi api;
        api.setSearchPathMode = [this](DWORD flags) { return !Fails("SetSearchPathMode", Hex(flags)); };
        api.setDllDirectory = [this](LPCWSTR folder) {
            return !Fails("SetDllDirectoryW", folder == nullptr ? "null" : *folder == 0 ? "empty" : "a folder");
        };
        api.getModuleHandle = [this](LPCWSTR name) -> HMODULE {
            const bool failed = Fails("GetModuleHandleW", name == std::wstring(L"Kernel32.dll") ? "Kernel32.dll" : "other");
            return failed ? nullptr : kKernel32;
        };
        api.getProcAddress = [this](HMODULE module, LPCSTR name) -> FARPROC {
            Record("GetProcAddress", std::string(module == kKernel32 ? "Kernel32 " : "other ") + name);
            if (!hasSetDefaultDllDirectories || std::strcmp(name, "SetDefaultDllDirectories") != 0)
                return nullptr;
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FakeSetDefaultDllDirectories));
        };
        api.setEnvironmentVariable = [this](LPCWSTR name, LPCWSTR value) {
            return !Fails("SetEnvironmentVariableW", WideToUtf8(name) + (value ? " a value" : " null"));
        };
        api.getProcessHeap = [this]() -> HANDLE { return Fails("GetProcessHeap") ? nullptr : kHeap; };
        api.heapSetInformation = [this](HANDLE heap, HEAP_INFORMATION_CLASS kind, PVOID data, SIZE_T size) {
            return !Fails("HeapSetInformation", std::string(heap == kHeap ? "heap " : "other ") +
                                                    std::to_string(kind) + (data ? " data " : " null ") +
                                                    std::to_string(size));
        };
        api.getCurrentProcessId = [this] {
            Record("GetCurrentProcessId");
            return GetCurrentProcessId();
        };
        api.openProcess = [this](DWORD access, BOOL inherit, DWORD id) -> HANDLE {
            if (Fails("OpenProcess", Hex(access) + " " + std::to_string(inherit) +
                                         (id == GetCurrentProcessId() ? " self" : " other")))
                return nullptr;
            process = OpenProcess(access, inherit, id);
            openHandles += process != nullptr;
            return process;
        };
        api.openProcessToken = [this](HANDLE handle, DWORD access, PHANDLE token) -> BOOL {
            if (Fails("OpenProcessToken", std::string(handle == process ? "process " : "other ") + Hex(access)))
                return FALSE;
            const BOOL opened = OpenProcessToken(handle, access, token);
            this->token = *token;
            openHandles += opened && *token;
            return opened;
        };
        api.getTokenInformation = [this](HANDLE handle, TOKEN_INFORMATION_CLASS kind, LPVOID buffer, DWORD size,
                                         PDWORD returned) -> BOOL {
            const std::string name = kind == TokenUser        ? buffer ? "GetTokenInformation TokenUser"
                                                                       : "GetTokenInformation TokenUser size"
                                     : kind == TokenSessionId ? "GetTokenInformation TokenSessionId"
                                                              : "GetTokenInformation other";
            if (Fails(name, handle == token ? "" : "not the token"))
                return FALSE;
            if (kind == TokenSessionId && sessionId) {
                *static_cast<DWORD*>(buffer) = *sessionId;
                return TRUE;
            }
            return GetTokenInformation(handle, kind, buffer, size, returned);
        };
        api.isWellKnownSid = [this](PSID sid, WELL_KNOWN_SID_TYPE type) {
            Record("IsWellKnownSid", std::to_string(type));
            return isExpectedUser;
        };
        api.convertSidToStringSid = [this](PSID sid, LPSTR* text) {
            return !Fails("ConvertSidToStringSidA") && ConvertSidToStringSidA(sid, text);
        };
        api.localFree = [this](HLOCAL memory) {
            Record("LocalFree");
            return LocalFree(memory);
        };
        api.closeHandle = [this](HANDLE handle) {
            Record("CloseHandle", handle == token ? "token" : handle == process ? "process" : "other");
            openHandles -= CloseHandle(handle) != 0;
            return TRUE;
        };
        return api;
    }

private:
    static inline const HMODULE kKernel32 = reinterpret_cast<HMODULE>(0x10000);
    static inline const HANDLE kHeap = reinterpret_cast<HANDLE>(0x20000);
    static inline RecordingSystem* current = nullptr;

    static BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags)
    {
        return !current->Fails("SetDefaultDllDirectories", Hex(flags));
    }

    void Record(const std::string& name, const std::string& arguments = "")
    {
        calls.push_back(arguments.empty() ? name : name + " " + arguments);
    }

    bool Fails(const std::string& name, const std::string& arguments = "")
    {
        Record(name, arguments);
        if (name != failAt)
            return false;
        SetLastError(error);
        return true;
    }

    HANDLE process = nullptr;
    HANDLE token = nullptr;
};

ProcessSecurityOptions Options(ExpectedUser user, ExpectedSession session)
{
    ProcessSecurityOptions options;
    options.expectedUser = user;
    options.expectedSession = session;
    return options;
}

TEST(ProcessSecurity, StepsInOrderThenOnlyOpensTheTokenWithoutExpectations)
{
    RecordingSystem system;
    EXPECT_EQ(ApplyProcessSecurity({}, system.Api()), std::nullopt);
    EXPECT_THAT(system.calls, ElementsAre("SetSearchPathMode 0x8001", "SetDllDirectoryW empty",
                                          "GetModuleHandleW Kernel32.dll",
                                          "GetProcAddress Kernel32 SetDefaultDllDirectories",
                                          "SetDefaultDllDirectories 0x800", "SetEnvironmentVariableW PATH null",
                                          "GetProcessHeap", "HeapSetInformation heap 1 null 0", "GetCurrentProcessId",
                                          "OpenProcess 0x400 0 self", "OpenProcessToken process 0x8",
                                          "CloseHandle token", "CloseHandle process"));
    EXPECT_EQ(system.openHandles, 0);
}

TEST(ProcessSecurity, MissingSetDefaultDllDirectoriesIsSkipped)
{
    RecordingSystem system;
    system.hasSetDefaultDllDirectories = false;
    EXPECT_EQ(ApplyProcessSecurity({}, system.Api()), std::nullopt);
    EXPECT_THAT(system.calls, Not(Contains(StartsWith("SetDefaultDllDirectories"))));
    EXPECT_THAT(system.calls, Contains("SetEnvironmentVariableW PATH null"));
}

TEST(ProcessSecurity, FailedConfigurationStepStopsThere)
{
    const char* steps[] = {"SetSearchPathMode",        "SetDllDirectoryW",        "GetModuleHandleW",
                           "SetDefaultDllDirectories", "SetEnvironmentVariableW", "GetProcessHeap",
                           "HeapSetInformation"};
    for (const char* step : steps) {
        RecordingSystem system;
        system.failAt = step;
        EXPECT_EQ(ApplyProcessSecurity(Options(ExpectedUser::LocalSystem, ExpectedSession::SessionZero), system.Api()),
                  "Process security configuration failed: " + std::string(step) + " failed: " +
                      SystemText(ERROR_ACCESS_DENIED))
            << step;
        ASSERT_FALSE(system.calls.empty());
        EXPECT_THAT(system.calls.back(), StartsWith(step)) << "nothing runs after the failed step";
    }
}

TEST(ProcessSecurity, FailedValidationCallClosesWhatItOpened)
{
    const struct {
        const char* call;
        const char* text;
        ProcessSecurityOptions options;
    } cases[] = {
        {"OpenProcess", "OpenProcess failed", {}},
        {"OpenProcessToken", "OpenProcessToken failed", {}},
        {"GetTokenInformation TokenUser size", "GetTokenInformation TokenUser failed to obtain buffer size",
         Options(ExpectedUser::LocalService, ExpectedSession::None)},
        {"GetTokenInformation TokenUser", "GetTokenInformation TokenUser failed",
         Options(ExpectedUser::LocalSystem, ExpectedSession::None)},
        {"GetTokenInformation TokenSessionId", "GetTokenInformation TokenSessionId failed",
         Options(ExpectedUser::None, ExpectedSession::SessionZero)},
    };
    for (const auto& c : cases) {
        RecordingSystem system;
        system.failAt = c.call;
        system.error = ERROR_INVALID_HANDLE;
        const std::string text = std::string(c.text) + ": " + SystemText(ERROR_INVALID_HANDLE);
        EXPECT_EQ(ApplyProcessSecurity(c.options, system.Api()), "Process security validation failed: " + text)
            << c.call;
        EXPECT_EQ(system.openHandles, 0) << c.call;
    }
}

TEST(ProcessSecurity, UnexpectedUserNamesBothSids)
{
    const std::string actual = CurrentUserSid();
    ASSERT_THAT(actual, StartsWith("S-1-"));
    const struct {
        ExpectedUser user;
        const char* type;
        const char* sid;
    } cases[] = {
        {ExpectedUser::LocalService, "23", "S-1-5-19"},
        {ExpectedUser::LocalSystem, "22", "S-1-5-18"},
    };
    for (const auto& c : cases) {
        RecordingSystem system;
        EXPECT_EQ(ApplyProcessSecurity(Options(c.user, ExpectedSession::None), system.Api()),
                  "Process security validation failed: Not running as expected user.Expected SID " +
                      std::string(c.sid) + ", actual SID " + actual);
        EXPECT_THAT(system.calls, Contains("IsWellKnownSid " + std::string(c.type)));
        EXPECT_THAT(system.calls, Contains("LocalFree")) << "the converted string is freed";
        EXPECT_EQ(system.openHandles, 0);
    }
}

TEST(ProcessSecurity, ExpectedUserPasses)
{
    RecordingSystem system;
    system.isExpectedUser = TRUE;
    EXPECT_EQ(ApplyProcessSecurity(Options(ExpectedUser::LocalSystem, ExpectedSession::None), system.Api()),
              std::nullopt);
    EXPECT_THAT(system.calls, Not(Contains("ConvertSidToStringSidA")));
}

TEST(ProcessSecurity, UnconvertibleActualSidGivesTheErrorCode)
{
    RecordingSystem system;
    system.failAt = "ConvertSidToStringSidA";
    system.error = ERROR_INVALID_SID;
    EXPECT_EQ(ApplyProcessSecurity(Options(ExpectedUser::LocalSystem, ExpectedSession::None), system.Api()),
              "Process security validation failed: Not running as expected user.Expected SID S-1-5-18, actual SID "
              "cannot be converted to string due to error: 1337");
}

TEST(ProcessSecurity, UnknownExpectedUserFailsBeforeComparing)
{
    RecordingSystem system;
    EXPECT_EQ(ApplyProcessSecurity(Options(static_cast<ExpectedUser>(3), ExpectedSession::None), system.Api()),
              "Process security validation failed: No well known SID type for expected user");
    EXPECT_THAT(system.calls, Not(Contains(StartsWith("IsWellKnownSid"))));
    EXPECT_EQ(system.openHandles, 0);
}

TEST(ProcessSecurity, SessionCheck)
{
    const std::optional<std::string> refused = "Process security validation failed: Not running under expected session";
    const struct {
        ExpectedSession expected;
        DWORD session;
        std::optional<std::string> result;
    } cases[] = {
        {ExpectedSession::SessionZero, 0, std::nullopt},
        {ExpectedSession::SessionZero, 1, refused},
        {ExpectedSession::SessionZero, 2, refused},
        // A value the check does not know never passes.
        {static_cast<ExpectedSession>(2), 0, refused},
        {static_cast<ExpectedSession>(-1), 1, refused},
        // No expectation: the session is not even read.
        {ExpectedSession::None, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        RecordingSystem system;
        system.sessionId = c.session;
        EXPECT_EQ(ApplyProcessSecurity(Options(ExpectedUser::None, c.expected), system.Api()), c.result)
            << static_cast<int>(c.expected) << " in session " << c.session;
        EXPECT_EQ(std::count(system.calls.begin(), system.calls.end(), "GetTokenInformation TokenSessionId"),
                  c.expected == ExpectedSession::None ? 0 : 1);
        EXPECT_EQ(system.openHandles, 0);
    }
}

}  // namespace

namespace {

// An image laid out in memory the way a linker lays out one with delay imports: headers from 0,
// descriptors from 0x200, names from 0x400, module handle slots from 0x800, import name tables from
// 0xC00, and the import address tables on a page of their own from 0x1000.
class HandBuiltImage {
public:
    struct Import {
        const char* name = nullptr;  // by ordinal when null
        WORD ordinal = 0;
    };

    HandBuiltImage() : base(static_cast<BYTE*>(VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)))
    {
        auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
        dos->e_magic = IMAGE_DOS_SIGNATURE;
        dos->e_lfanew = 0x40;
        Headers().Signature = IMAGE_NT_SIGNATURE;
        Headers().OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    }
    ~HandBuiltImage() { VirtualFree(base, 0, MEM_RELEASE); }
    HandBuiltImage(const HandBuiltImage&) = delete;
    HandBuiltImage& operator=(const HandBuiltImage&) = delete;

    // A descriptor for the library with these imports. The address table entries start out
    // pointing at stand-ins for the linker's stubs.
    void AddLibrary(const char* library, const std::vector<Import>& imports)
    {
        auto& descriptor = reinterpret_cast<IMAGE_DELAYLOAD_DESCRIPTOR*>(base + kDescriptors)[libraries];
        descriptor.Attributes.RvaBased = 1;
        descriptor.DllNameRVA = AddText(library);
        descriptor.ModuleHandleRVA = kModuleSlots + libraries * sizeof(ULONG_PTR);
        descriptor.ImportNameTableRVA = nameTables;
        descriptor.ImportAddressTableRVA = addressTables;
        for (const Import& import : imports) {
            ULONG_PTR name = IMAGE_ORDINAL_FLAG | import.ordinal;
            if (import.name)
                name = AddImportName(import.name);
            *reinterpret_cast<ULONG_PTR*>(base + nameTables) = name;
            *reinterpret_cast<ULONG_PTR*>(base + addressTables) = kStub + addressTables;
            nameTables += sizeof(ULONG_PTR);
            addressTables += sizeof(ULONG_PTR);
        }
        nameTables += sizeof(ULONG_PTR);
        addressTables += sizeof(ULONG_PTR);
        ++libraries;
    }

    // The delay-import directory over this many descriptors; by default all of them and the
    // empty one after them.
    void SetDirectory(std::optional<DWORD> descriptors = std::nullopt)
    {
        auto& directory = Headers().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
        directory.VirtualAddress = kDescriptors;
        directory.Size = descriptors.value_or(libraries + 1) * sizeof(IMAGE_DELAYLOAD_DESCRIPTOR);
    }

    HMODULE Module() const { return reinterpret_cast<HMODULE>(base); }
    const IMAGE_DELAYLOAD_DESCRIPTOR& Descriptor(int library) const
    {
        return reinterpret_cast<const IMAGE_DELAYLOAD_DESCRIPTOR*>(base + kDescriptors)[library];
    }
    ULONG_PTR Entry(int library, int index) const
    {
        return reinterpret_cast<const ULONG_PTR*>(base + Descriptor(library).ImportAddressTableRVA)[index];
    }
    bool EntryUntouched(int library, int index) const
    {
        return Entry(library, index) == kStub + Descriptor(library).ImportAddressTableRVA + index * sizeof(ULONG_PTR);
    }
    HMODULE ModuleSlot(int library) const
    {
        return *reinterpret_cast<const HMODULE*>(base + Descriptor(library).ModuleHandleRVA);
    }
    void* AddressTablePage() const { return base + kAddressTables; }

private:
    static constexpr SIZE_T kSize = 0x2000;
    static constexpr DWORD kDescriptors = 0x200;
    static constexpr DWORD kModuleSlots = 0x800;
    static constexpr DWORD kNameTables = 0xC00;
    static constexpr DWORD kAddressTables = 0x1000;
    static constexpr ULONG_PTR kStub = 0x5000;

    IMAGE_NT_HEADERS& Headers() { return *reinterpret_cast<IMAGE_NT_HEADERS*>(base + 0x40); }

    DWORD AddText(const char* text)
    {
        const DWORD at = texts;
        const std::size_t length = std::strlen(text) + 1;
        std::memcpy(base + texts, text, length);
        texts += static_cast<DWORD>(length);
        return at;
    }

    // A hint of 0, then the name.
    DWORD AddImportName(const char* name)
    {
        const DWORD at = texts;
        texts += sizeof(WORD);
        AddText(name);
        return at;
    }

    BYTE* base;
    int libraries = 0;
    DWORD texts = 0x400;
    DWORD nameTables = kNameTables;
    DWORD addressTables = kAddressTables;
};

// The ordinal under which the module exports the name, from its export directory.
WORD ExportOrdinal(HMODULE module, const char* name)
{
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        base + headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        if (std::strcmp(reinterpret_cast<const char*>(base + names[i]), name) == 0)
            return static_cast<WORD>(exports->Base + ordinals[i]);
    }
    return 0;
}

ULONG_PTR Address(const wchar_t* module, const char* name)
{
    return reinterpret_cast<ULONG_PTR>(GetProcAddress(GetModuleHandleW(module), name));
}

TEST(DelayImports, EmptyDirectoryTouchesNothing)
{
    HandBuiltImage image;
    image.AddLibrary("halvex_absent_module.dll", {{"HalvexAbsentFunction"}});
    EXPECT_EQ(ResolveDelayImports(image.Module()), 0u);
    EXPECT_TRUE(image.EntryUntouched(0, 0));
    EXPECT_EQ(image.ModuleSlot(0), nullptr);
}

TEST(DelayImports, FillsEveryEntryByNameAndByOrdinal)
{
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const WORD ordinal = ExportOrdinal(kernel32, "GetTickCount");
    ASSERT_NE(ordinal, 0);
    HandBuiltImage image;
    image.AddLibrary("kernel32.dll", {{"GetCurrentProcessId"}, {nullptr, ordinal}});
    image.AddLibrary("ntdll.dll", {{"RtlGetVersion"}});
    image.SetDirectory();
    EXPECT_EQ(ResolveDelayImports(image.Module()), 0u);
    EXPECT_EQ(image.Entry(0, 0), Address(L"kernel32.dll", "GetCurrentProcessId"));
    EXPECT_EQ(image.Entry(0, 1), Address(L"kernel32.dll", "GetTickCount"));
    EXPECT_EQ(image.Entry(0, 2), 0u);
    EXPECT_EQ(image.ModuleSlot(0), kernel32);
    EXPECT_EQ(image.Entry(1, 0), Address(L"ntdll.dll", "RtlGetVersion"));
    EXPECT_EQ(image.ModuleSlot(1), GetModuleHandleW(L"ntdll.dll"));
}

TEST(DelayImports, FirstUnresolvableEntryGivesItsCode)
{
    const struct {
        const char* library;
        HandBuiltImage::Import import;
        DWORD code;
    } cases[] = {
        {"halvex_absent_module.dll", {"HalvexAbsentFunction"}, kModuleNotFound},
        {"kernel32.dll", {"HalvexAbsentFunction"}, kProcedureNotFound},
        {"kernel32.dll", {nullptr, 0xFFFF}, kProcedureNotFound},
    };
    for (const auto& c : cases) {
        HandBuiltImage image;
        image.AddLibrary(c.library, {c.import});
        image.SetDirectory();
        EXPECT_EQ(ResolveDelayImports(image.Module()), c.code) << c.library;
        EXPECT_TRUE(image.EntryUntouched(0, 0)) << c.library;
    }
}

TEST(DelayImports, LibraryWithoutEntriesIsNotLoaded)
{
    HandBuiltImage image;
    image.AddLibrary("halvex_absent_module.dll", {});
    image.SetDirectory();
    EXPECT_EQ(ResolveDelayImports(image.Module()), 0u);
    EXPECT_EQ(image.ModuleSlot(0), nullptr);
}

TEST(DelayImports, TableEndsWithTheDirectory)
{
    HandBuiltImage image;
    image.AddLibrary("kernel32.dll", {{"GetCurrentProcessId"}});
    image.AddLibrary("halvex_absent_module.dll", {{"HalvexAbsentFunction"}});
    image.SetDirectory(1);
    EXPECT_EQ(ResolveDelayImports(image.Module()), 0u);
    EXPECT_EQ(image.Entry(0, 0), Address(L"kernel32.dll", "GetCurrentProcessId"));
    EXPECT_TRUE(image.EntryUntouched(1, 0));
}

TEST(DelayImports, ReadOnlyAddressTableIsWrittenAndSealedAgain)
{
    HandBuiltImage image;
    image.AddLibrary("kernel32.dll", {{"GetCurrentProcessId"}});
    image.SetDirectory();
    DWORD previous = 0;
    ASSERT_TRUE(VirtualProtect(image.AddressTablePage(), 0x1000, PAGE_READONLY, &previous));
    EXPECT_EQ(ResolveDelayImports(image.Module()), 0u);
    EXPECT_EQ(image.Entry(0, 0), Address(L"kernel32.dll", "GetCurrentProcessId"));
    MEMORY_BASIC_INFORMATION region{};
    ASSERT_TRUE(VirtualQuery(image.AddressTablePage(), &region, sizeof(region)));
    EXPECT_EQ(region.Protect, static_cast<DWORD>(PAGE_READONLY));
}

}  // namespace

namespace {

// Programs that harden themselves; the tests that read their debugger line hold the lock of the
// one system-wide debug-output buffer.
test::ProcessResult RunProbe(const char* exe, const std::wstring& arguments = L"",
                             const std::map<std::wstring, std::optional<std::wstring>>& environment = {})
{
    return test::RunProcess(test::FromBuildPath(exe), arguments, environment, 60'000, true);
}

TEST(ProcessSecurityChild, HardenedProcessAndItsChildHaveNoPath)
{
    const auto result = RunProbe(HALVEX_PROCESS_SECURITY_PROBE_EXE, L"0 0", {{L"PATH", L"C:\\windows\\system32"}});
    EXPECT_EQ(result.exitCode, 0u) << "1: the child has PATH; 2: the probe has PATH";
    EXPECT_EQ(result.debugOutput, L"");
}

TEST(ProcessSecurityChild, RefusedStartEndsWithTheDebuggerLine)
{
    ASSERT_NE(CurrentSessionId(), 0u) << "the session refusal needs a process outside session 0";
    const std::wstring prefix = L"Process security validation failed: ";
    const struct {
        const wchar_t* arguments;
        std::wstring line;
    } cases[] = {
        {L"0 1", prefix + L"Not running under expected session"},
        {L"0 2", prefix + L"Not running under expected session"},
        {L"2 0", prefix + L"Not running as expected user.Expected SID S-1-5-18, actual SID " +
                     Utf8ToWide(CurrentUserSid())},
    };
    for (const auto& c : cases) {
        const auto result = RunProbe(HALVEX_PROCESS_SECURITY_PROBE_EXE, c.arguments);
        EXPECT_EQ(result.exitCode, kProcessSecurityFailedExitCode) << c.arguments;
        EXPECT_EQ(result.debugOutput, c.line) << c.arguments;
    }
}

TEST(DelayImportChild, UnresolvableImportEndsTheProcess)
{
    const struct {
        const char* exe;
        const wchar_t* line;
    } cases[] = {
        {HALVEX_DELAYABSENTMODULEPROBE_EXE, L"LoadAllImports failed: 3228369022"},
        {HALVEX_DELAYABSENTPROCEDUREPROBE_EXE, L"LoadAllImports failed: 3228369023"},
    };
    for (const auto& c : cases) {
        const auto result = RunProbe(c.exe);
        EXPECT_EQ(result.exitCode, kDelayLoadFailedExitCode) << c.exe;
        EXPECT_EQ(result.debugOutput, c.line) << c.exe;
    }
}

TEST(DelayImportChild, ResolvedImportIsCalledThroughItsEntry)
{
    const auto result = RunProbe(HALVEX_DELAYRESOLVEDPROBE_EXE);
    EXPECT_EQ(result.exitCode, 0u) << "2: loaded before; 3: not loaded; 4: entry not filled; 5: wrong answer";
    EXPECT_EQ(result.debugOutput, L"");
}

}  // namespace
