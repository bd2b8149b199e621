#include "Installer/Validators.h"

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "halvlib/String.h"

namespace S1 {

namespace {

// The maker's hosts: sandboxes are accepted as named, any other host must sit under a domain.
constexpr std::array<std::string_view, 2> kSandboxHosts = {"sandbox1.halvex-test.com", "sandbox2.halvex-test.com"};
constexpr std::array<std::string_view, 4> kDomainSuffixes = {".halvex.com", ".halvex.net", ".halvexcloud.com",
                                                             ".halvex-test.com"};

constexpr std::string_view kArchiveExtension = ".tar.gz";

// The ASCII ranges only: the C library's classification depends on the locale.
bool IsLetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool OnlyLettersDigitsAnd(std::string_view value, std::string_view others)
{
    return std::all_of(value.begin(), value.end(),
                       [others](char c) { return IsLetterOrDigit(c) || others.find(c) != std::string_view::npos; });
}

// A suffix alone is a domain, not a host: something must come before it.
bool EndsAfterSomething(std::string_view value, std::string_view suffix)
{
    return value.size() > suffix.size() && value.ends_with(suffix);
}

}  // namespace

void ValidateStage2FileName(const std::string& value, Setup::FatalError::Type code)
{
    if (value.size() > 256)
        throw Setup::FatalError("Filename too long", code);
    if (!EndsAfterSomething(value, kArchiveExtension))
        throw Setup::FatalError(
            "Filename does not have the expected extension, but :'" + std::string(kArchiveExtension) + "'", code);
    const std::string_view name = std::string_view(value).substr(0, value.size() - kArchiveExtension.size());
    if (!OnlyLettersDigitsAnd(name, "-./_"))
        throw Setup::FatalError("Filename contains illegal characters", code);
}

void ValidateServerName(const std::string& value, Setup::FatalError::Type code)
{
    if (std::find(kSandboxHosts.begin(), kSandboxHosts.end(), value) != kSandboxHosts.end())
        return;
    if (value.size() > 253)
        throw Setup::FatalError("Server name too long", code);
    if (!OnlyLettersDigitsAnd(value, "-._"))
        throw Setup::FatalError("Server name contains illegal characters", code);
    if (std::none_of(kDomainSuffixes.begin(), kDomainSuffixes.end(),
                     [&value](std::string_view suffix) { return EndsAfterSomething(value, suffix); }))
        throw Setup::FatalError("Server name doesn't have an expected value", code);
}

void ValidateOptionalServerName(const std::string& value, Setup::FatalError::Type code)
{
    if (!value.empty())
        ValidateServerName(value, code);
}

void ValidateGuid(const std::string& value, Setup::FatalError::Type code)
{
    // The system parser stops at a zero character and would judge only the text before it.
    if (value.find('\0') != std::string::npos)
        throw Setup::FatalError("GUID has invalid format", code);
    const std::wstring wrapped = L"{" + Utf8ToWide(value) + L"}";
    IID parsed{};
    if (FAILED(IIDFromString(wrapped.c_str(), &parsed)))
        throw Setup::FatalError("GUID has invalid format", code);
}

void ValidateCustomerToken(const std::string& value, Setup::FatalError::Type code)
{
    if (value.empty())
        return;
    if (value.size() != 36)
        throw Setup::FatalError("Customer token not the right size", code);
    if (!OnlyLettersDigitsAnd(value, "-._"))
        throw Setup::FatalError("Customer token contains illegal characters", code);
}

void ValidateProducts(const std::string& value, Setup::FatalError::Type code)
{
    if (!OnlyLettersDigitsAnd(value, ",_"))
        throw Setup::FatalError("Products string contains illegal characters", code);
}

void ValidateUserId(const std::string& value, Setup::FatalError::Type code)
{
    if (value.empty())
        throw Setup::FatalError("User ID is empty", code);
    if (value.size() > 100)
        throw Setup::FatalError("User ID is too long", code);
    if (!OnlyLettersDigitsAnd(value, "-"))
        throw Setup::FatalError("User ID string contains illegal characters", code);
}

}  // namespace S1
