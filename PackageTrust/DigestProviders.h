#pragma once

#include <windows.h>
#include <wincrypt.h>

namespace Setup {

// CryptoAPI providers for the MultiHasher objects of one verification to borrow. Acquiring a
// provider costs far more than hashing a small file, so a package is hashed with one provider
// of each type rather than fresh ones for every file. Must outlive every hasher made with it.
class DigestProviders {
public:
    DigestProviders() = default;
    ~DigestProviders();
    DigestProviders(const DigestProviders&) = delete;
    DigestProviders& operator=(const DigestProviders&) = delete;

    // The default provider of the type (PROV_RSA_FULL or PROV_RSA_AES), acquired on first use.
    // A failed acquisition is logged as a hasher logs it and gives 0; the next call tries again.
    HCRYPTPROV get(DWORD providerType);

private:
    HCRYPTPROV full = 0;
    HCRYPTPROV aes = 0;
};

}  // namespace Setup
