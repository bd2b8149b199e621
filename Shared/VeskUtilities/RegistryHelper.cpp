#include "Shared/VeskUtilities/RegistryHelper.h"

#include <aclapi.h>

#include <algorithm>
#include <utility>

#include "Utilities/Raii.h"

namespace Vesk::Utilities::Registry {

namespace {

// Operations without a view argument keep to the view of the 32-bit product.
constexpr REGSAM kFixedView = KEY_WOW64_32KEY;
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
// Value names may have 16,383 characters; nothing longer is asked for.
constexpr DWORD kLongestName = 32767;

REGSAM View(bool use64)
{
    return use64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

KeyGuard Open(HKEY root, const std::wstring& path, REGSAM access, LSTATUS& status)
{
    HKEY key = nullptr;
    status = RegOpenKeyExW(root, path.c_str(), 0, access, &key);
    return KeyGuard(status == ERROR_SUCCESS ? key : nullptr);
}

KeyGuard Create(HKEY root, const std::wstring& path, DWORD options, REGSAM access, LSTATUS& status,
                DWORD* disposition = nullptr)
{
    HKEY key = nullptr;
    DWORD created = 0;
    status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, access, nullptr, &key, &created);
    if (status == ERROR_ALREADY_EXISTS)
        status = ERROR_SUCCESS;
    if (disposition)
        *disposition = created;
    return KeyGuard(status == ERROR_SUCCESS ? key : nullptr);
}

std::vector<std::wstring> SubkeysOf(HKEY key)
{
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return {};
    return RegistryHelper::EnumerateNames(
        [key](DWORD index, wchar_t* name, DWORD* length) {
            return RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
        },
        longest);
}

LSTATUS DeleteTree(HKEY parent, const std::wstring& name, REGSAM view)
{
    {
        LSTATUS status = ERROR_SUCCESS;
        const KeyGuard key = Open(parent, name, kReadWrite | view, status);
        if (!key)
            return status;
        // Listed first: deleting while enumerating would shift the indexes.
        for (const std::wstring& subkey : SubkeysOf(key.get())) {
            status = DeleteTree(key.get(), subkey, view);
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
                return status;
        }
    }
    return RegDeleteKeyExW(parent, name.c_str(), view, 0);
}

// How a multi-string read ended: the value, or the failure's code.
struct MultiStringRead {
    LSTATUS status = ERROR_SUCCESS;
    std::vector<std::wstring> values;
};

MultiStringRead ReadList(HKEY root, const std::wstring& path, const std::wstring& name)
{
    MultiStringRead read;
    const KeyGuard key = Open(root, path, KEY_READ | kFixedView, read.status);
    if (!key)
        return read;
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    read.status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &bytes);
    std::vector<wchar_t> buffer;
    while (read.status == ERROR_SUCCESS) {
        if (type != REG_MULTI_SZ) {
            read.status = ERROR_UNSUPPORTED_TYPE;
            return read;
        }
        // One unit more than the data: an odd byte count or a missing final NUL still ends in a NUL.
        const DWORD units = (bytes + 1) / sizeof(wchar_t);
        buffer.assign(units + 1, L'\0');
        bytes = units * sizeof(wchar_t);
        read.status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                       &bytes);
        if (read.status == ERROR_MORE_DATA) {
            // The value grew since its size was asked: bytes holds the new size.
            read.status = ERROR_SUCCESS;
            continue;
        }
        if (read.status != ERROR_SUCCESS)
            return read;
        if (type != REG_MULTI_SZ) {
            read.status = ERROR_UNSUPPORTED_TYPE;
            return read;
        }
        std::wstring current;
        for (const wchar_t c : buffer) {
            if (c != L'\0') {
                current += c;
            } else if (!current.empty()) {
                read.values.push_back(std::move(current));
                current.clear();
            }
        }
        return read;
    }
    return read;
}

bool WriteList(HKEY root, const std::wstring& path, const std::wstring& name, const std::vector<std::wstring>& values)
{
    std::wstring data;
    for (const std::wstring& value : values) {
        // A NUL inside an element would split it into two when read.
        if (value.find(L'\0') != std::wstring::npos)
            return false;
        if (!value.empty()) {
            data += value;
            data += L'\0';
        }
    }
    data += L'\0';
    LSTATUS status = ERROR_SUCCESS;
    const KeyGuard key = Create(root, path, 0, kReadWrite | kFixedView, status);
    if (!key)
        return false;
    // The length is given, not found by looking for two NULs.
    return RegSetValueExW(key.get(), name.c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Adds an access-allowed ACE for BUILTIN\Users with GENERIC_ALL, for this key only.
bool GrantUsersFullControl(const std::wstring& path, const RegistryHelper::SetKeySecurityFunction& setKeySecurity)
{
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0,
                                  &sid))
        return false;
    const SidGuard users(sid);

    // The key was made in the 32-bit view; a 64-bit build must not look for it in the other one.
    LSTATUS status = ERROR_SUCCESS;
    const KeyGuard key = Open(HKEY_LOCAL_MACHINE, path,
                              READ_CONTROL | WRITE_DAC | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | kFixedView, status);
    if (!key)
        return false;
    DWORD size = 0;
    if (RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size) != ERROR_INSUFFICIENT_BUFFER ||
        size == 0)
        return false;
    std::vector<BYTE> descriptor(size);
    if (RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor.data(), &size) != ERROR_SUCCESS)
        return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted))
        return false;

    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    access.Trustee.ptstrName = static_cast<wchar_t*>(users.get());
    PACL granted = nullptr;
    if (SetEntriesInAclW(1, &access, present ? dacl : nullptr, &granted) != ERROR_SUCCESS)
        return false;
    const LocalMemoryGuard grantedGuard(granted);

    SECURITY_DESCRIPTOR updated;
    if (!InitializeSecurityDescriptor(&updated, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&updated, TRUE, granted, FALSE))
        return false;
    return setKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &updated) == ERROR_SUCCESS;
}

}  // namespace

RegistryHelper::RegistryHelper() : RegistryHelper(&RegSetKeySecurity) {}

RegistryHelper::RegistryHelper(SetKeySecurityFunction setKeySecurity) : setKeySecurity(std::move(setKeySecurity)) {}

bool RegistryHelper::CreateKey(const std::wstring& path, bool use64, bool isVolatile, HKEY root)
{
    LSTATUS status = ERROR_SUCCESS;
    return static_cast<bool>(
        Create(root, path, isVolatile ? REG_OPTION_VOLATILE : 0, KEY_WRITE | View(use64), status));
}

bool RegistryHelper::CreateSharedKey(const std::wstring& path)
{
    LSTATUS status = ERROR_SUCCESS;
    DWORD disposition = 0;
    if (!Create(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE | kFixedView, status, &disposition))
        return false;
    if (disposition != REG_CREATED_NEW_KEY)
        return true;
    if (GrantUsersFullControl(path, setKeySecurity))
        return true;
    // Left in place, the key would pass as shared on the next call without the grant.
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), kFixedView, 0);
    return false;
}

bool RegistryHelper::DeleteKey(const std::wstring& path, const std::wstring& subkey, bool use64, HKEY root)
{
    LSTATUS status = ERROR_SUCCESS;
    const KeyGuard key = Open(root, path, KEY_WRITE | View(use64), status);
    if (key)
        status = DeleteTree(key.get(), subkey, View(use64));
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool RegistryHelper::DeleteValue(const std::wstring& path, const std::wstring& name, bool use64)
{
    LSTATUS status = ERROR_SUCCESS;
    const KeyGuard key = Open(HKEY_LOCAL_MACHINE, path, KEY_WRITE | View(use64), status);
    if (key)
        status = RegDeleteValueW(key.get(), name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::optional<DWORD> RegistryHelper::ReadDword(const std::wstring& path, const std::wstring& name, bool use64,
                                               HKEY root)
{
    LSTATUS status = ERROR_SUCCESS;
    const KeyGuard key = Open(root, path, KEY_READ | View(use64), status);
    if (!key)
        return std::nullopt;
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD bytes = sizeof(value);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || bytes != sizeof(value))
        return std::nullopt;
    return value;
}

bool RegistryHelper::WriteDword(const std::wstring& path, const std::wstring& name, DWORD value, bool use64, HKEY root)
{
    LSTATUS status = ERROR_SUCCESS;
    const KeyGuard key = Create(root, path, 0, kReadWrite | View(use64), status);
    return key && RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof(value)) == ERROR_SUCCESS;
}

std::optional<std::wstring> RegistryHelper::ReadString(const std::wstring& path, const std::wstring& name, bool use64,
                                                       HKEY root)
{
    LSTATUS status = ERROR_SUCCESS;
    const KeyGuard key = Open(root, path, KEY_READ | View(use64), status);
    if (!key)
        return std::nullopt;
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &bytes);
    std::vector<wchar_t> buffer;
    while (status == ERROR_SUCCESS) {
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return std::nullopt;
        const DWORD units = (bytes + 1) / sizeof(wchar_t);
        buffer.assign(units + 1, L'\0');
        bytes = units * sizeof(wchar_t);
        status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                  &bytes);
        if (status == ERROR_MORE_DATA) {
            status = ERROR_SUCCESS;
            continue;
        }
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        return std::wstring(buffer.data());
    }
    return std::nullopt;
}

bool RegistryHelper::WriteString(const std::wstring& path, const std::wstring& name, const std::wstring& value,
                                 bool use64, HKEY root)
{
    LSTATUS status = ERROR_SUCCESS;
    const KeyGuard key = Create(root, path, 0, kReadWrite | View(use64), status);
    return key && RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::optional<std::vector<std::wstring>> RegistryHelper::ReadMultiString(const std::wstring& path,
                                                                         const std::wstring& name, HKEY root)
{
    MultiStringRead read = ReadList(root, path, name);
    if (read.status != ERROR_SUCCESS)
        return std::nullopt;
    return std::move(read.values);
}

bool RegistryHelper::WriteMultiString(const std::wstring& path, const std::wstring& name,
                                      const std::vector<std::wstring>& values, HKEY root)
{
    return WriteList(root, path, name, values);
}

bool RegistryHelper::AddToMultiString(const std::wstring& path, const std::wstring& name, const std::wstring& value,
                                      HKEY root)
{
    MultiStringRead read = ReadList(root, path, name);
    // A missing key or value starts a new list; anything else unreadable would be overwritten.
    if (read.status != ERROR_SUCCESS && read.status != ERROR_FILE_NOT_FOUND)
        return false;
    read.values.push_back(value);
    return WriteList(root, path, name, read.values);
}

bool RegistryHelper::MultiStringContains(const std::wstring& path, const std::wstring& name, const std::wstring& value,
                                         HKEY root)
{
    const MultiStringRead read = ReadList(root, path, name);
    return read.status == ERROR_SUCCESS && std::find(read.values.begin(), read.values.end(), value) != read.values.end();
}

RegistryValue RegistryHelper::ReadValue(const std::wstring& path, const std::wstring& name, bool use64, HKEY root)
{
    DWORD type = REG_NONE;
    {
        LSTATUS status = ERROR_SUCCESS;
        const KeyGuard key = Open(root, path, KEY_READ | View(use64), status);
        if (!key || RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
            return std::nullopt;
    }
    if (type == REG_SZ) {
        if (std::optional<std::wstring> text = ReadString(path, name, use64, root))
            return std::move(*text);
    } else if (type == REG_DWORD) {
        if (const std::optional<DWORD> number = ReadDword(path, name, use64, root))
            return *number;
    }
    return std::nullopt;
}

std::vector<std::wstring> RegistryHelper::ValueNames(const std::wstring& path, HKEY root)
{
    LSTATUS status = ERROR_SUCCESS;
    const KeyGuard key = Open(root, path, KEY_READ | kFixedView, status);
    if (!key)
        return {};
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return {};
    const HKEY handle = key.get();
    return EnumerateNames(
        [handle](DWORD index, wchar_t* name, DWORD* length) {
            return RegEnumValueW(handle, index, name, length, nullptr, nullptr, nullptr, nullptr);
        },
        longest);
}

std::vector<std::wstring> RegistryHelper::SubkeyNames(const std::wstring& path, HKEY root)
{
    LSTATUS status = ERROR_SUCCESS;
    const KeyGuard key = Open(root, path, KEY_READ | kFixedView, status);
    if (!key)
        return {};
    return SubkeysOf(key.get());
}

std::vector<std::wstring> RegistryHelper::EnumerateNames(const EnumerateFunction& enumerate, DWORD longestName)
{
    std::vector<std::wstring> names;
    std::vector<wchar_t> buffer(std::min(longestName, kLongestName) + 1);
    for (DWORD index = 0;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LSTATUS status = enumerate(index, buffer.data(), &length);
        if (status == ERROR_SUCCESS) {
            names.emplace_back(buffer.data(), std::min<size_t>(length, buffer.size()));
            ++index;
        } else if (status == ERROR_MORE_DATA && buffer.size() <= kLongestName) {
            // A name added since the longest length was asked.
            buffer.resize(std::min<size_t>(buffer.size() * 2, kLongestName + 1));
        } else {
            return names;
        }
    }
}

}  // namespace Vesk::Utilities::Registry
