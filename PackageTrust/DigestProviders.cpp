#include "PackageTrust/DigestProviders.h"

#include <stdexcept>
#include <string>

#include "halvlib/Logging.h"

namespace Setup {

DigestProviders::~DigestProviders()
{
    if (aes != 0)
        CryptReleaseContext(aes, 0);
    if (full != 0)
        CryptReleaseContext(full, 0);
}

HCRYPTPROV DigestProviders::get(DWORD providerType)
{
    HCRYPTPROV* held = nullptr;
    if (providerType == PROV_RSA_FULL)
        held = &full;
    else if (providerType == PROV_RSA_AES)
        held = &aes;
    else
        throw std::invalid_argument("unknown provider type: " + std::to_string(providerType));
    if (*held != 0)
        return *held;
    if (!CryptAcquireContextW(held, nullptr, nullptr, providerType, CRYPT_VERIFYCONTEXT)) {
        // The error is read first: building the log statement may reset it.
        const DWORD error = GetLastError();
        HALVLIB_LOG(halvlib::logging::Error) << "CryptAcquireContextW failed: " << error;
        *held = 0;
        return 0;
    }
    return *held;
}

}  // namespace Setup
