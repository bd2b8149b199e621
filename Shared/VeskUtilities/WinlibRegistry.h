#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <system_error>

#include "Utilities/Raii.h"

// A small layer over the registry API: open keys, read 32-bit and string values, and name the
// operation and the key in every error.
namespace winlib::registry {

// The roots a key path can start from.
enum PredefinedKey : unsigned {
    LocalMachine = 0,
    CurrentUser = 1,
    Users = 2,
    ClassesRoot = 3,
    CurrentConfig = 4,
};

// The root handle; any other identifier throws std::logic_error "Unknown predefined key".
HKEY GetPredefinedKey(PredefinedKey root);

// A key below one of the roots, seen through one registry view (KEY_WOW64_64KEY or
// KEY_WOW64_32KEY, added to every access mask).
class RegistryKeyPath {
public:
    // HKEY_LOCAL_MACHINE, 64-bit view.
    explicit RegistryKeyPath(std::wstring path);
    RegistryKeyPath(std::wstring path, DWORD viewFlags, PredefinedKey root);

    PredefinedKey Root() const noexcept { return root; }
    const std::wstring& Path() const noexcept { return path; }
    DWORD ViewFlags() const noexcept { return viewFlags; }

private:
    PredefinedKey root;
    std::wstring path;
    DWORD viewFlags;
};

// An open key, closed with RegCloseKey; a null key means that there is no key.
using KeyHandle = StaticRaii<HKEY, &utilities::Raii::CloseKey>;

// Codes of the library's own error category.
enum RegistryError : int {
    InvalidValueDataLength = 1,
    InvalidValueDataType = 2,
};

class ErrorCategoryImpl : public std::error_category {
public:
    const char* name() const noexcept override;
    std::string message(int code) const override;
};

const std::error_category& GetErrorCategory();
std::error_code make_error_code(RegistryError error);

// "WOW6432Node:" for the 32-bit view, the root's short name ("HKLM\", "HKCU\", ...) and the path.
std::wstring DescribeKey(const std::wstring& path, PredefinedKey root, DWORD viewFlags);

// Any failure throws std::system_error "OpenKey(<key>) failed: <the code's message>".
KeyHandle OpenKey(const std::wstring& path, PredefinedKey root, REGSAM access, DWORD viewFlags);

// A missing key gives a null key; any other failure throws as OpenKey does, named
// "OpenKeyIfExists".
KeyHandle OpenKeyIfExists(const std::wstring& path, PredefinedKey root, REGSAM access, DWORD viewFlags);
KeyHandle OpenKeyIfExists(const RegistryKeyPath& key, REGSAM access);

// The REG_DWORD value, or 0 with the error set: the system's code of a failed read,
// ERROR_DATATYPE_MISMATCH for another type, InvalidValueDataLength for a size other than 4.
DWORD QueryDwordValue(const std::wstring& name, HKEY key, std::error_code& error);

// The REG_SZ or REG_EXPAND_SZ value (expanded). An absent value gives no string and no error;
// any other failure gives no string and sets the error.
std::optional<std::wstring> QueryOptionalStringValue(const std::wstring& name, HKEY key, std::error_code& error);

// As QueryOptionalStringValue, throwing "GetOptionalStringValue(<name>) failed: ..." for an error.
std::optional<std::wstring> GetOptionalStringValue(HKEY key, const std::wstring& name);

}  // namespace winlib::registry

template <>
struct std::is_error_code_enum<winlib::registry::RegistryError> : std::true_type {};
