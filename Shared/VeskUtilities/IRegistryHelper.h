#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace Vesk::Utilities::Registry {

// A REG_DWORD (index 0) or REG_SZ (index 1) value; nothing for any other type or a failure.
using RegistryValue = std::optional<std::variant<DWORD, std::wstring>>;

// The registry service. use64 chooses the 64-bit registry view, false the 32-bit one. Every call
// opens its key and closes it again, reports failure as false or nothing, and never throws.
class IRegistryHelper {
public:
    virtual ~IRegistryHelper() = default;
    // An existing key counts as created.
    virtual bool CreateKey(const std::wstring& path, bool use64, bool isVolatile, HKEY root) = 0;
    // Under HKEY_LOCAL_MACHINE, 32-bit view. A new key grants BUILTIN\Users full control of
    // itself (not of its subkeys); an existing key is left as it is.
    virtual bool CreateSharedKey(const std::wstring& path) = 0;
    // Deletes subkey below path with everything under it; a missing key counts as deleted.
    virtual bool DeleteKey(const std::wstring& path, const std::wstring& subkey, bool use64, HKEY root) = 0;
    // Under HKEY_LOCAL_MACHINE; a missing value counts as deleted.
    virtual bool DeleteValue(const std::wstring& path, const std::wstring& name, bool use64) = 0;
    virtual std::optional<DWORD> ReadDword(const std::wstring& path, const std::wstring& name, bool use64,
                                           HKEY root) = 0;
    // Creates the key when it is missing.
    virtual bool WriteDword(const std::wstring& path, const std::wstring& name, DWORD value, bool use64,
                            HKEY root) = 0;
    // A REG_SZ or REG_EXPAND_SZ value (not expanded), up to its first NUL.
    virtual std::optional<std::wstring> ReadString(const std::wstring& path, const std::wstring& name, bool use64,
                                                   HKEY root) = 0;
    // Creates the key when it is missing; writes REG_SZ.
    virtual bool WriteString(const std::wstring& path, const std::wstring& name, const std::wstring& value,
                             bool use64, HKEY root) = 0;

    // The multi-string and listing operations always work in the 32-bit view. A multi-string
    // holds no empty elements: they are skipped when read and when written.
    virtual std::optional<std::vector<std::wstring>> ReadMultiString(const std::wstring& path,
                                                                     const std::wstring& name, HKEY root) = 0;
    // Creates the key when it is missing. An element holding a NUL fails the write.
    virtual bool WriteMultiString(const std::wstring& path, const std::wstring& name,
                                  const std::vector<std::wstring>& values, HKEY root) = 0;
    // A missing value starts an empty list; a value of another type is left alone and fails.
    virtual bool AddToMultiString(const std::wstring& path, const std::wstring& name, const std::wstring& value,
                                  HKEY root) = 0;
    // Exact comparison; false when the value cannot be read.
    virtual bool MultiStringContains(const std::wstring& path, const std::wstring& name, const std::wstring& value,
                                     HKEY root) = 0;

    // Reads through ReadString or ReadDword as the value's type says.
    virtual RegistryValue ReadValue(const std::wstring& path, const std::wstring& name, bool use64, HKEY root) = 0;
    // Empty when the key cannot be opened.
    virtual std::vector<std::wstring> ValueNames(const std::wstring& path, HKEY root) = 0;
    virtual std::vector<std::wstring> SubkeyNames(const std::wstring& path, HKEY root) = 0;
};

}  // namespace Vesk::Utilities::Registry
