#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Utilities/Raii.h"

namespace utilities {

// The stage-1 reader of registry strings. extraAccess (a view flag such as KEY_WOW64_64KEY) is
// added to every key it opens.
class RegistryHelper {
public:
    class Error : public std::runtime_error {
    public:
        // "<what>.[ Error: <code>.] Value name='<name>'."
        Error(const std::string& what, const std::wstring& name, int code);
        int code;
    };

    struct ValueBuffer {
        std::vector<wchar_t> data;
        DWORD type = REG_NONE;
    };

    explicit RegistryHelper(DWORD extraAccess = 0) : extraAccess(extraAccess) {}

    KeyGuard OpenKey(HKEY root, const std::wstring& path, DWORD access) const;
    ValueBuffer RegistryDataBufferIfExists(HKEY key, const std::wstring& name) const;
    std::optional<std::wstring> ReadStringValue(HKEY key, const std::wstring& name) const;

    DWORD extraAccess;

private:
    std::function<LSTATUS(HKEY root, const wchar_t* path, DWORD access, HKEY* key)> openKey =
        [](HKEY root, const wchar_t* path, DWORD access, HKEY* key) { return RegOpenKeyExW(root, path, 0, access, key); };
};

// The text with environment references expanded, its terminating NUL included.
std::vector<wchar_t> ExpandEnvironmentString(const wchar_t* text);

}  // namespace utilities
