#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <memory>
#include <string>

namespace Setup {

class DigestProviders;

// Flags naming the digest algorithms of the package-trust code; combinable into a mask.
enum HashAlgorithm : std::uint32_t {
    md5 = 1,
    sha1 = 2,
    sha256 = 4,
    sha384 = 8,
};

// Up to four CryptoAPI digests of one stream of bytes, so a file is read once whatever the
// number of digests asked for.
class MultiHasher {
public:
    // Acquires a provider of its own for every slot.
    explicit MultiHasher(std::uint32_t mask);
    // Borrows the providers, which must outlive the hasher; a slot whose provider cannot be
    // acquired is disabled, as with providers of its own.
    MultiHasher(std::uint32_t mask, DigestProviders& providers);
    ~MultiHasher();
    MultiHasher(const MultiHasher&) = delete;
    MultiHasher& operator=(const MultiHasher&) = delete;

    void update(const void* data, std::size_t length);
    // Reads from the file's current position to its end (or the first failed read).
    void updateFromFile(HANDLE file);

    bool isEnabled(std::uint32_t algorithm) const;
    std::string digest(std::uint32_t algorithm) const;
    std::string hexDigest(std::uint32_t algorithm) const;

    // For the signature check, which imports the signer's key with the slot's provider.
    HCRYPTPROV provider(std::uint32_t algorithm) const;
    HCRYPTHASH hash(std::uint32_t algorithm) const;

    std::uint64_t total() const { return bytesFed; }

    void release() noexcept;

private:
    struct Slot {
        bool enabled = false;
        HCRYPTPROV provider = 0;
        HCRYPTHASH hash = 0;
        bool ownsProvider = false;
    };
    void createHashes(std::uint32_t mask, DigestProviders* providers);
    const Slot& enabledSlot(std::uint32_t algorithm) const;

    std::unique_ptr<Slot[]> slots;
    std::uint64_t bytesFed = 0;
};

// Lowercase hexadecimal, high nibble first.
std::string toHex(const std::string& bytes);

}  // namespace Setup
