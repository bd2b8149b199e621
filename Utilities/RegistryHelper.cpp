#include "Utilities/RegistryHelper.h"

#include "halvlib/String.h"
#include "Utilities/Throw.h"

namespace utilities {

namespace {

std::string ErrorText(const std::string& what, const std::wstring& name, int code)
{
    std::string text = what + ".";
    if (code != 0)
        text += " Error: " + std::to_string(code) + ".";
    return text + " Value name='" + WideToUtf8(name) + "'.";
}

constexpr DWORD kInitialBufferBytes = 260;

}  // namespace

RegistryHelper::Error::Error(const std::string& what, const std::wstring& name, int code)
    : std::runtime_error(ErrorText(what, name, code)), code(code)
{
}

KeyGuard RegistryHelper::OpenKey(HKEY root, const std::wstring& path, DWORD access) const
{
    HKEY key = nullptr;
    const LSTATUS status = openKey(root, path.c_str(), access | extraAccess, &key);
    if (status != ERROR_SUCCESS)
        UTILITIES_THROW(Error("OpenKey failed", path, status));
    return KeyGuard(key);
}

RegistryHelper::ValueBuffer RegistryHelper::RegistryDataBufferIfExists(HKEY key, const std::wstring& name) const
{
    ValueBuffer value;
    std::vector<BYTE> bytes(kInitialBufferBytes);
    LSTATUS status;
    DWORD size;
    for (;;) {
        size = static_cast<DWORD>(bytes.size());
        status = RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                              &value.type, bytes.data(), &size);
        // The value can grow between two calls: ask again until it fits.
        if (status != ERROR_MORE_DATA)
            break;
        bytes.resize(size);
    }
    if (status != ERROR_SUCCESS)
        UTILITIES_THROW(Error("RegGetValueW failed", name, status));
    if (size % 2 != 0)
        UTILITIES_THROW(Error("Invalid registry value data length", name, 0));
    value.data.resize(size / 2);
    std::copy_n(bytes.data(), size, reinterpret_cast<BYTE*>(value.data.data()));
    return value;
}

std::optional<std::wstring> RegistryHelper::ReadStringValue(HKEY key, const std::wstring& name) const
{
    ValueBuffer value = RegistryDataBufferIfExists(key, name);
    if (value.data.empty())
        return std::wstring();
    if (value.type == REG_EXPAND_SZ) {
        value.data.push_back(L'\0');  // stored data need not end with a NUL
        value.data = ExpandEnvironmentString(value.data.data());
    }
    if (!value.data.empty() && value.data.back() == L'\0')
        value.data.pop_back();
    return std::wstring(value.data.begin(), value.data.end());
}

std::vector<wchar_t> ExpandEnvironmentString(const wchar_t* text)
{
    std::vector<wchar_t> buffer;
    for (;;) {
        const DWORD length = ExpandEnvironmentStringsW(text, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            UTILITIES_THROW(std::runtime_error("ExpandEnvironmentStringsW failed: " + std::to_string(GetLastError())));
        if (length <= buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length);
    }
}

}  // namespace utilities
