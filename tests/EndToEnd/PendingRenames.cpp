// Lists, or takes entries out of, the list of files the system renames or deletes at its next
// start, so that a test can check what a run asked for and leave the prefix as it found it.
//   PendingRenames list                 one line per pair: source, a tab, target (UTF-8)
//   PendingRenames remove SOURCE...     drops every pair whose source is one of these (any case)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t* const kSessionManager = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t* const kPending = L"PendingFileRenameOperations";

// The elements of the list, empty ones included: an empty target means delete.
bool ReadPending(std::vector<std::wstring>& elements)
{
    DWORD bytes = 0;
    const LSTATUS sized =
        RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &bytes);
    if (sized == ERROR_FILE_NOT_FOUND)
        return true;
    if (sized != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr, data.data(),
                     &bytes) != ERROR_SUCCESS)
        return false;
    std::wstring current;
    for (DWORD i = 0; i + 1 < bytes / sizeof(wchar_t); ++i) {
        if (data[i] != L'\0') {
            current += data[i];
        } else {
            elements.push_back(current);
            current.clear();
        }
    }
    return true;
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

int Remove(const std::vector<std::wstring>& elements, const std::vector<std::wstring>& sources)
{
    std::wstring kept;
    bool changed = false;
    for (size_t i = 0; i + 1 < elements.size(); i += 2) {
        bool drop = false;
        for (const std::wstring& source : sources)
            drop = drop || SamePath(elements[i], source);
        if (drop) {
            changed = true;
            continue;
        }
        kept += elements[i] + L'\0' + elements[i + 1] + L'\0';
    }
    if (!changed)
        return 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return 4;
    LSTATUS status = ERROR_SUCCESS;
    if (kept.empty()) {
        status = RegDeleteValueW(key, kPending);
    } else {
        kept += L'\0';
        status = RegSetValueExW(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                                static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : 5;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command != L"list" && command != L"remove") {
        std::fprintf(stderr, "usage: PendingRenames list | remove SOURCE...\n");
        return 2;
    }
    std::vector<std::wstring> elements;
    if (!ReadPending(elements))
        return 3;
    if (command == L"remove")
        return Remove(elements, std::vector<std::wstring>(argv + 2, argv + argc));
    for (size_t i = 0; i + 1 < elements.size(); i += 2)
        std::printf("%s\t%s\n", Utf8(elements[i]).c_str(), Utf8(elements[i + 1]).c_str());
    return 0;
}
