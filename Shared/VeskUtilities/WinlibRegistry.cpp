#include "Shared/VeskUtilities/WinlibRegistry.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

#include "halvlib/ErrorCategory.h"
#include "halvlib/String.h"
#include "Utilities/Throw.h"

namespace winlib::registry {

namespace {

struct Root {
    HKEY key;
    const wchar_t* shortName;
};

// Indexed by PredefinedKey.
const Root kRoots[] = {
    {HKEY_LOCAL_MACHINE, L"HKLM\\"},
    {HKEY_CURRENT_USER, L"HKCU\\"},
    {HKEY_USERS, L"HKU\\"},
    {HKEY_CLASSES_ROOT, L"HKCR\\"},
    {HKEY_CURRENT_CONFIG, L"HKCC\\"},
};

const Root& RootOf(PredefinedKey root)
{
    if (root >= std::size(kRoots))
        UTILITIES_THROW(std::logic_error("Unknown predefined key"));
    return kRoots[root];
}

constexpr DWORD kInitialValueBytes = 64;

// System and generic codes are told in the in-house category, whose messages are the system's
// own texts; the library's codes keep their category.
[[noreturn]] void ThrowFailure(const std::string& operation, const std::wstring& subject, const std::error_code& code)
{
    const std::string what = operation + "(" + halvlib::string::ToUtf8(subject) + ") failed";
    if (code.category() == std::system_category() || code.category() == std::generic_category())
        UTILITIES_THROW(std::system_error(code.value(), halvlib::string::GetErrorCategory(), what));
    UTILITIES_THROW(std::system_error(code, what));
}

std::error_code SystemError(LSTATUS status)
{
    return std::error_code(static_cast<int>(status), std::system_category());
}

bool IsAbsence(LSTATUS status)
{
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

HKEY Open(const std::wstring& path, PredefinedKey root, REGSAM access, DWORD viewFlags, LSTATUS& status)
{
    HKEY key = nullptr;
    status = RegOpenKeyExW(RootOf(root).key, path.c_str(), 0, access | viewFlags, &key);
    return status == ERROR_SUCCESS ? key : nullptr;
}

struct ValueData {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

// The value's type and data; the value can grow between two calls, so ask until it fits.
std::optional<ValueData> ReadValue(HKEY key, const std::wstring& name, std::error_code& error)
{
    ValueData value;
    value.bytes.resize(kInitialValueBytes);
    LSTATUS status;
    DWORD size;
    for (;;) {
        size = static_cast<DWORD>(value.bytes.size());
        status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.bytes.data(), &size);
        if (status != ERROR_MORE_DATA)
            break;
        value.bytes.resize(size);
    }
    if (status != ERROR_SUCCESS) {
        error = SystemError(status);
        return std::nullopt;
    }
    value.bytes.resize(size);
    return value;
}

// The stored text up to its first NUL; the data need not end with one.
std::optional<std::wstring> ToString(const std::vector<BYTE>& bytes, std::error_code& error)
{
    if (bytes.size() % sizeof(wchar_t) != 0) {
        error = make_error_code(InvalidValueDataLength);
        return std::nullopt;
    }
    std::vector<wchar_t> units(bytes.size() / sizeof(wchar_t));
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<BYTE*>(units.data()));
    if (units.empty() || units.back() != L'\0')
        units.push_back(L'\0');
    return std::wstring(units.data());
}

std::optional<std::wstring> Expand(const std::wstring& text, std::error_code& error)
{
    std::vector<wchar_t> buffer(text.capacity() + 1);
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0) {
            error = SystemError(static_cast<LSTATUS>(GetLastError()));
            return std::nullopt;
        }
        if (needed <= buffer.size())
            return std::wstring(buffer.data());
        buffer.resize(needed);
    }
}

}  // namespace

HKEY GetPredefinedKey(PredefinedKey root)
{
    return RootOf(root).key;
}

RegistryKeyPath::RegistryKeyPath(std::wstring path) : RegistryKeyPath(std::move(path), KEY_WOW64_64KEY, LocalMachine)
{
}

RegistryKeyPath::RegistryKeyPath(std::wstring path, DWORD viewFlags, PredefinedKey root)
    : root(root), path(std::move(path)), viewFlags(viewFlags)
{
    if (this->path.empty())
        UTILITIES_THROW(std::invalid_argument("Blank key path"));
    if (this->path.front() == L'\\')
        UTILITIES_THROW(std::invalid_argument("Key path cannot start with backslash: " +
                                              halvlib::string::ToUtf8(this->path)));
    if (this->path.back() == L'\\')
        UTILITIES_THROW(std::invalid_argument("Key path cannot end with backslash: " +
                                              halvlib::string::ToUtf8(this->path)));
}

const char* ErrorCategoryImpl::name() const noexcept
{
    return "Registry error";
}

std::string ErrorCategoryImpl::message(int code) const
{
    switch (code) {
    case InvalidValueDataLength:
        return "Invalid registry value data length";
    case InvalidValueDataType:
        return "Invalid registry value data type";
    default:
        return "Registry error: " + std::to_string(code);
    }
}

const std::error_category& GetErrorCategory()
{
    static const ErrorCategoryImpl category;
    return category;
}

std::error_code make_error_code(RegistryError error)
{
    return std::error_code(static_cast<int>(error), GetErrorCategory());
}

std::wstring DescribeKey(const std::wstring& path, PredefinedKey root, DWORD viewFlags)
{
    std::wstring description = viewFlags == KEY_WOW64_32KEY ? L"WOW6432Node:" : L"";
    return description + RootOf(root).shortName + path;
}

KeyHandle OpenKey(const std::wstring& path, PredefinedKey root, REGSAM access, DWORD viewFlags)
{
    LSTATUS status;
    KeyHandle key(Open(path, root, access, viewFlags, status));
    if (status != ERROR_SUCCESS)
        ThrowFailure("OpenKey", DescribeKey(path, root, viewFlags), SystemError(status));
    return key;
}

KeyHandle OpenKeyIfExists(const std::wstring& path, PredefinedKey root, REGSAM access, DWORD viewFlags)
{
    LSTATUS status;
    KeyHandle key(Open(path, root, access, viewFlags, status));
    if (status != ERROR_SUCCESS && !IsAbsence(status))
        ThrowFailure("OpenKeyIfExists", DescribeKey(path, root, viewFlags), SystemError(status));
    return key;
}

KeyHandle OpenKeyIfExists(const RegistryKeyPath& key, REGSAM access)
{
    return OpenKeyIfExists(key.Path(), key.Root(), access, key.ViewFlags());
}

DWORD QueryDwordValue(const std::wstring& name, HKEY key, std::error_code& error)
{
    error.clear();
    const std::optional<ValueData> value = ReadValue(key, name, error);
    if (!value)
        return 0;
    if (value->type != REG_DWORD) {
        error = SystemError(ERROR_DATATYPE_MISMATCH);
        return 0;
    }
    if (value->bytes.size() != sizeof(DWORD)) {
        error = make_error_code(InvalidValueDataLength);
        return 0;
    }
    DWORD result;
    std::copy(value->bytes.begin(), value->bytes.end(), reinterpret_cast<BYTE*>(&result));
    return result;
}

std::optional<std::wstring> QueryOptionalStringValue(const std::wstring& name, HKEY key, std::error_code& error)
{
    error.clear();
    const std::optional<ValueData> value = ReadValue(key, name, error);
    if (!value) {
        if (error.category() == std::system_category() && IsAbsence(error.value()))
            error.clear();
        return std::nullopt;
    }
    if (value->type != REG_SZ && value->type != REG_EXPAND_SZ) {
        error = SystemError(ERROR_DATATYPE_MISMATCH);
        return std::nullopt;
    }
    std::optional<std::wstring> text = ToString(value->bytes, error);
    if (text && value->type == REG_EXPAND_SZ)
        text = Expand(*text, error);
    return text;
}

std::optional<std::wstring> GetOptionalStringValue(HKEY key, const std::wstring& name)
{
    std::error_code error;
    std::optional<std::wstring> text = QueryOptionalStringValue(name, key, error);
    if (error)
        ThrowFailure("GetOptionalStringValue", name, error);
    return text;
}

}  // namespace winlib::registry
