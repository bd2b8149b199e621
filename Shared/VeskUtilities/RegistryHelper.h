#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Shared/VeskUtilities/IRegistryHelper.h"

namespace Vesk::Utilities::Registry {

class RegistryHelper : public IRegistryHelper {
public:
    // RegSetKeySecurityW's shape; tests make the grant of a shared key fail with it.
    using SetKeySecurityFunction = std::function<LSTATUS(HKEY key, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR)>;

    RegistryHelper();
    explicit RegistryHelper(SetKeySecurityFunction setKeySecurity);

    bool CreateKey(const std::wstring& path, bool use64, bool isVolatile, HKEY root) override;
    bool CreateSharedKey(const std::wstring& path) override;
    bool DeleteKey(const std::wstring& path, const std::wstring& subkey, bool use64, HKEY root) override;
    bool DeleteValue(const std::wstring& path, const std::wstring& name, bool use64) override;
    std::optional<DWORD> ReadDword(const std::wstring& path, const std::wstring& name, bool use64,
                                   HKEY root) override;
    bool WriteDword(const std::wstring& path, const std::wstring& name, DWORD value, bool use64, HKEY root) override;
    std::optional<std::wstring> ReadString(const std::wstring& path, const std::wstring& name, bool use64,
                                           HKEY root) override;
    bool WriteString(const std::wstring& path, const std::wstring& name, const std::wstring& value, bool use64,
                     HKEY root) override;
    std::optional<std::vector<std::wstring>> ReadMultiString(const std::wstring& path, const std::wstring& name,
                                                             HKEY root) override;
    bool WriteMultiString(const std::wstring& path, const std::wstring& name, const std::vector<std::wstring>& values,
                          HKEY root) override;
    bool AddToMultiString(const std::wstring& path, const std::wstring& name, const std::wstring& value,
                          HKEY root) override;
    bool MultiStringContains(const std::wstring& path, const std::wstring& name, const std::wstring& value,
                             HKEY root) override;
    RegistryValue ReadValue(const std::wstring& path, const std::wstring& name, bool use64, HKEY root) override;
    std::vector<std::wstring> ValueNames(const std::wstring& path, HKEY root) override;
    std::vector<std::wstring> SubkeyNames(const std::wstring& path, HKEY root) override;

    // RegEnumValueW / RegEnumKeyExW's shape: the name at index into name, whose capacity in
    // characters (NUL included) goes in and whose length comes out.
    using EnumerateFunction = std::function<LSTATUS(DWORD index, wchar_t* name, DWORD* length)>;

    // The names at index 0, 1, 2, ... until ERROR_NO_MORE_ITEMS. ERROR_MORE_DATA grows the
    // buffer and asks for the same index again; any other failure ends the list there.
    static std::vector<std::wstring> EnumerateNames(const EnumerateFunction& enumerate, DWORD longestName);

private:
    SetKeySecurityFunction setKeySecurity;
};

}  // namespace Vesk::Utilities::Registry
