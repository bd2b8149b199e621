#include "Installer/Stage2Launch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "halvlib/String.h"
#include "Utilities/FatalError.h"
#include "Utilities/LogStatement.h"
#include "Utilities/Raii.h"
#include "Utilities/TraceLog.h"

namespace S1 {

namespace {

constexpr std::uint32_t kMessageSize = 8;

// Appends "--name" or "--name="value"" items, one space between them.
class ItemWriter {
public:
    void Flag(const wchar_t* name, bool set)
    {
        if (set)
            Begin(name);
    }

    void Value(const wchar_t* name, const std::wstring& value)
    {
        Begin(name);
        text += L"=\"";
        text += escapeCommandLineArgument(value);
        text += L'"';
    }

    void OptionalValue(const wchar_t* name, const std::optional<std::wstring>& value)
    {
        if (value)
            Value(name, *value);
    }

    void OptionalDecimal(const wchar_t* name, const std::optional<int>& value)
    {
        if (value)
            Value(name, std::to_wstring(*value));
    }

    std::wstring text;

private:
    void Begin(const wchar_t* name)
    {
        if (!text.empty())
            text += L' ';
        text += L"--";
        text += name;
    }
};

bool IsPlainName(const std::wstring& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
    });
}

std::wstring JoinRelays(const std::set<std::wstring>& relays)
{
    std::wstring joined;
    for (const auto& relay : relays) {
        if (!joined.empty())
            joined += L',';
        joined += relay;
    }
    return joined;
}

// Reads the 8-byte answer; returns the failure's text, empty when the answer is good.
std::string ReadAnswer(HANDLE reader, bool& restart)
{
    std::array<unsigned char, kMessageSize> message{};
    DWORD bytesRead = 0;
    if (!ReadFile(reader, message.data(), static_cast<DWORD>(message.size()), &bytesRead, nullptr))
        return "ReadFile failed: " + std::to_string(GetLastError());
    if (bytesRead != message.size())
        return "Unexpected bytes_read failed: " + std::to_string(bytesRead);
    const std::uint32_t sizeField = static_cast<std::uint32_t>(message[0]) | static_cast<std::uint32_t>(message[1]) << 8 |
                                    static_cast<std::uint32_t>(message[2]) << 16 |
                                    static_cast<std::uint32_t>(message[3]) << 24;
    if (sizeField != kMessageSize)
        return "Unexpected size field value: " + std::to_string(sizeField) + " (expected " +
               std::to_string(kMessageSize) + ")";
    restart = message[4] != 0;
    return {};
}

}  // namespace

std::wstring escapeCommandLineArgument(const std::wstring& value)
{
    if (value.find(L'\0') != std::wstring::npos)
        throw std::invalid_argument("A command-line value holds a NUL character");
    if (!value.empty() && value.find_first_of(L"\\\" \t\r\n\v") == std::wstring::npos)
        return value;
    std::wstring escaped;
    std::size_t backslashes = 0;
    for (const wchar_t c : value) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes mean themselves unless a quote follows them.
        escaped.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        escaped += c;
        backslashes = 0;
    }
    // The item's closing quote follows a trailing run.
    escaped.append(2 * backslashes, L'\\');
    return escaped;
}

std::wstring buildStage2CommandLine(const Stage1Settings& settings, HANDLE pipeWriteHandle)
{
    const std::wstring logFile = GetTraceLogFile();
    if (logFile.empty())
        throw std::runtime_error("Logger not initialised");

    ItemWriter items;
    items.Value(L"mgmtserver", settings.mgmtserver);
    items.OptionalValue(L"telemserver", settings.telemserver);
    items.OptionalValue(L"diagserver", settings.diagserver);
    items.OptionalDecimal(L"language", settings.language);
    items.Flag(L"nofeedback", settings.nofeedback);
    items.Flag(L"dumpfeedback", settings.dumpfeedback);
    items.Flag(L"registeronly", settings.registeronly);
    items.Flag(L"traillogging", settings.traillogging);
    items.Flag(L"commandlinelogging", settings.commandlinelogging);
    items.Flag(L"nonpersistent", settings.nonpersistent);
    items.Flag(L"goldimage", settings.goldimage);
    items.OptionalDecimal(L"goldimagetimeout", settings.goldimagetimeout);
    items.Flag(L"notificationmode", settings.notificationmode);
    items.Flag(L"nocompetitorremoval", settings.nocompetitorremoval);
    items.OptionalValue(L"crtcatalogpath", settings.crtcatalogpath);
    if (!settings.messagerelays.empty())
        items.Value(L"messagerelays", JoinRelays(settings.messagerelays));
    items.Value(L"logfile", logFile);
    items.OptionalValue(L"devicegroup", settings.devicegroup);
    items.Flag(L"quiet", settings.quiet);
    items.Flag(L"bypassownershipcheck", settings.bypassownershipcheck);
    items.Flag(L"bypassacscheck", settings.bypassacscheck);
    if (settings.parentpid > 0)
        items.Value(L"parentpid", std::to_wstring(settings.parentpid));
    if (settings.customerProxy) {
        const Proxy& proxy = *settings.customerProxy;
        items.Value(L"proxyaddress", Utf8ToWide(proxy.address));
        if (!proxy.username.empty())
            items.Value(L"proxyusername", Utf8ToWide(proxy.username));
        if (!proxy.password.empty())
            items.Value(L"proxypassword", Utf8ToWide(proxy.password));
    }
    items.OptionalValue(L"computernameoverride", settings.computernameoverride);
    items.OptionalValue(L"computerdescriptionoverride", settings.computerdescriptionoverride);
    items.OptionalValue(L"domainnameoverride", settings.domainnameoverride);
    items.Flag(L"noproxydetection", settings.noproxydetection);
    items.Value(L"products", settings.products);
    items.Value(L"customertoken", settings.customertoken);
    items.Value(L"pipewritehandle", std::to_wstring(reinterpret_cast<std::uintptr_t>(pipeWriteHandle)));
    items.Flag(L"usecertificatesfolder", settings.usecertificatesfolder);
    items.OptionalValue(L"qorcustomerid", settings.qorcustomerid);
    items.OptionalValue(L"localinstallsource", settings.localinstallsource);
    items.OptionalValue(L"partnerid", settings.partnerid);
    items.OptionalValue(L"estateid", settings.estateid);
    items.OptionalValue(L"userid", settings.userid);
    return items.text;
}

std::wstring buildStage2ProcessCommandLine(const Stage2Run& run, HANDLE pipeWriteHandle)
{
    // No escaping inside the program path: a Windows path cannot hold a double quote.
    const std::filesystem::path program = std::filesystem::path(run.workingFolder) / run.programName;
    std::wstring commandLine = L"\"" + program.wstring() + L"\" " + buildStage2CommandLine(run.settings, pipeWriteHandle);
    for (const auto& [name, value] : run.extraArguments) {
        if (!IsPlainName(name))
            throw std::invalid_argument("Invalid stage-2 argument name: " + WideToUtf8(name));
        commandLine += L" --" + name + L"=\"" + escapeCommandLineArgument(value) + L"\"";
    }
    return commandLine;
}

bool runSetupProgram(Stage2Run& run)
{
    LOG_INFO << "Running setup.";

    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof(inheritable);
    inheritable.bInheritHandle = TRUE;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        const DWORD error = GetLastError();
        throw std::runtime_error("CreatePipe failed: " + std::to_string(error));
    }
    HandleGuard reader(readEnd);
    HandleGuard writer(writeEnd);
    if (!SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0)) {
        const DWORD error = GetLastError();
        throw std::runtime_error("SetHandleInformation failed: " + std::to_string(error));
    }

    std::wstring commandLine = buildStage2ProcessCommandLine(run, writer.get());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        run.workingFolder.empty() ? nullptr : run.workingFolder.c_str(), &startup, &process)) {
        const DWORD error = GetLastError();
        throw Setup::FatalError("Failed to run setup program. CreateProcess failed: " + std::to_string(error),
                                Setup::FatalError::LaunchFailure);
    }
    HandleGuard processHandle(process.hProcess);
    HandleGuard threadHandle(process.hThread);
    // Only stage 2 may hold the write end, or the read below never ends when it exits silently.
    writer.Reset();
    run.processId = process.dwProcessId;

    // A bad answer fails the attempt only after stage 2 has exited: the clean-up that follows a
    // failure deletes the folder it runs from.
    bool restart = false;
    const std::string answerFailure = ReadAnswer(reader.get(), restart);
    reader.Reset();

    WaitForSingleObject(processHandle.get(), INFINITE);
    if (!answerFailure.empty())
        throw std::runtime_error(answerFailure);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(processHandle.get(), &exitCode)) {
        const DWORD error = GetLastError();
        LOG_ERROR << "Failed to retrieve the exit code for the Setup program! Error code (for GetExitCodeProcess): "
                  << error;
        throw Setup::FatalError("Failed to retrieve the exit code for the Setup program",
                                Setup::FatalError::LaunchFailure);
    }
    if (exitCode != 0)
        throw std::runtime_error("Setup program failed with code: " + std::to_string(exitCode));
    return restart;
}

}  // namespace S1
