// A stand-in for the stage-2 setup program: records how it was started and answers on the pipe
// as HALVEX_FAKE_STAGE2_MODE says.
//
// HALVEX_FAKE_STAGE2_RECORD: file that receives, as UTF-16 fields each ended by a NUL, the
// command line, the current folder, the show-window value ("-" without one) and the arguments
// as CommandLineToArgvW splits them.
// HALVEX_FAKE_STAGE2_MODE: ok, restart, nowrite, short, badsize (default ok).
// HALVEX_FAKE_STAGE2_EXIT: the exit code (default 0).
// HALVEX_FAKE_STAGE2_EXITED: when set, a file created after the answer and a pause, just before
// the exit, so a test can tell whether stage 1 waited for the exit.
// HALVEX_FAKE_STAGE2_ENVIRONMENT: when set, a file that receives the environment stage 2 was given,
// as UTF-16 "NAME=value" strings each ended by a NUL.
// HALVEX_FAKE_STAGE2_WAIT_FOR: when set, a file whose appearance releases the answer, so a test
// can hold stage 1 inside stage 2 for as long as it needs.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring Variable(const wchar_t* name, const wchar_t* fallback)
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    return length ? std::wstring(buffer.data(), length) : fallback;
}

bool WriteAll(HANDLE file, const void* data, DWORD size)
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

bool RecordEnvironment(const std::wstring& path)
{
    wchar_t* strings = GetEnvironmentStringsW();
    if (!strings)
        return false;
    std::wstring block;
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
        block += entry;
        block += L'\0';
    }
    FreeEnvironmentStringsW(strings);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = WriteAll(file, block.data(), static_cast<DWORD>(block.size() * sizeof(wchar_t)));
    CloseHandle(file);
    return ok;
}

// Gives up after two minutes, so a test that died cannot leave stage 1 waiting for ever.
bool WaitForFile(const std::wstring& path)
{
    const ULONGLONG end = GetTickCount64() + 120000;
    while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount64() > end)
            return false;
        Sleep(20);
    }
    return true;
}

bool Record(const std::wstring& path, int argc, wchar_t** argv)
{
    std::wstring fields = GetCommandLineW();
    fields += L'\0';
    std::vector<wchar_t> folder(32768);
    fields.append(folder.data(), GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    fields += L'\0';
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    fields += (startup.dwFlags & STARTF_USESHOWWINDOW) ? std::to_wstring(startup.wShowWindow) : L"-";
    fields += L'\0';
    for (int i = 0; i < argc; ++i) {
        fields += argv[i];
        fields += L'\0';
    }
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = WriteAll(file, fields.data(), static_cast<DWORD>(fields.size() * sizeof(wchar_t)));
    CloseHandle(file);
    return ok;
}

HANDLE PipeHandle(int argc, wchar_t** argv)
{
    const std::wstring prefix = L"--pipewritehandle=";
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument.compare(0, prefix.size(), prefix) == 0)
            return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoul(argument.c_str() + prefix.size(), nullptr, 10)));
    }
    return nullptr;
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 90;
    const std::wstring recordPath = Variable(L"HALVEX_FAKE_STAGE2_RECORD", L"");
    const std::wstring environmentPath = Variable(L"HALVEX_FAKE_STAGE2_ENVIRONMENT", L"");
    if (!environmentPath.empty() && !RecordEnvironment(environmentPath))
        return 96;
    if (!recordPath.empty() && !Record(recordPath, argc, argv))
        return 91;
    const HANDLE pipe = PipeHandle(argc, argv);
    LocalFree(argv);
    if (!pipe)
        return 92;
    const std::wstring waitFor = Variable(L"HALVEX_FAKE_STAGE2_WAIT_FOR", L"");
    if (!waitFor.empty() && !WaitForFile(waitFor))
        return 95;

    const std::wstring mode = Variable(L"HALVEX_FAKE_STAGE2_MODE", L"ok");
    unsigned char message[8] = {8, 0, 0, 0, 0, 0xAA, 0xBB, 0xCC};
    if (mode == L"restart")
        message[4] = 1;
    if (mode == L"badsize")
        message[0] = 16;
    bool written = true;
    if (mode == L"short")
        written = WriteAll(pipe, message, 4);
    else if (mode != L"nowrite")
        written = WriteAll(pipe, message, sizeof(message));
    if (!written)
        return 93;
    const std::wstring exited = Variable(L"HALVEX_FAKE_STAGE2_EXITED", L"");
    if (!exited.empty()) {
        // Long enough that a stage 1 which does not wait is certainly past its read first.
        Sleep(500);
        const HANDLE file = CreateFileW(exited.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 94;
        CloseHandle(file);
    }
    return static_cast<int>(std::wcstoul(Variable(L"HALVEX_FAKE_STAGE2_EXIT", L"0").c_str(), nullptr, 10));
}
