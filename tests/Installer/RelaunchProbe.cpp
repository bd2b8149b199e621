// Stands in for a relaunched stage 1: writes, as UTF-16 fields each ended by a NUL, its command
// line, its own path and the launcher variable it was given, into the file that
// HALVEX_RELAUNCH_PROBE_RECORD names. The record appears complete or not at all.
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::wstring Variable(const wchar_t* name)
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    return length ? std::wstring(buffer.data(), length) : L"<unset>";
}

}  // namespace

int wmain()
{
    const std::wstring record = Variable(L"HALVEX_RELAUNCH_PROBE_RECORD");
    std::vector<wchar_t> self(32768);
    std::wstring fields = GetCommandLineW();
    fields += L'\0';
    fields.append(self.data(), GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    fields += L'\0';
    fields += Variable(L"HALVEX_SFL_PATH_DE4325B8_1378_47a6_AEC1_EF723BCE8EC4");
    fields += L'\0';
    const std::wstring partial = record + L".partial";
    const HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(fields.size() * sizeof(wchar_t));
    const bool ok = WriteFile(file, fields.data(), size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok && MoveFileExW(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
