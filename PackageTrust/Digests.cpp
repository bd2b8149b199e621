#include "PackageTrust/Digests.h"

#include <array>
#include <stdexcept>

#include "halvlib/ErrorCategory.h"
#include "halvlib/Logging.h"
#include "PackageTrust/DigestProviders.h"

namespace Setup {
namespace {

struct SlotKind {
    std::uint32_t flag;
    ALG_ID algorithm;
    DWORD providerType;
};

// Fixed slot order; the SHA-2 algorithms need the AES provider type.
constexpr std::array<SlotKind, 4> kinds{{
    {HashAlgorithm::md5, CALG_MD5, PROV_RSA_FULL},
    {HashAlgorithm::sha1, CALG_SHA1, PROV_RSA_FULL},
    {HashAlgorithm::sha256, CALG_SHA_256, PROV_RSA_AES},
    {HashAlgorithm::sha384, CALG_SHA_384, PROV_RSA_AES},
}};

std::size_t slotIndex(std::uint32_t algorithm)
{
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i].flag == algorithm)
            return i;
    }
    throw std::invalid_argument("unknown algorithm: " + std::to_string(algorithm));
}

}  // namespace

MultiHasher::MultiHasher(std::uint32_t mask) : slots(new Slot[kinds.size()])
{
    createHashes(mask, nullptr);
}

MultiHasher::MultiHasher(std::uint32_t mask, DigestProviders& providers) : slots(new Slot[kinds.size()])
{
    createHashes(mask, &providers);
}

void MultiHasher::createHashes(std::uint32_t mask, DigestProviders* providers)
{
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        Slot& slot = slots[i];
        slot.enabled = (mask & kinds[i].flag) != 0;
        if (!slot.enabled)
            continue;
        if (providers) {
            // A failure is logged there.
            slot.provider = providers->get(kinds[i].providerType);
            if (slot.provider == 0) {
                slot.enabled = false;
                continue;
            }
        } else if (CryptAcquireContextW(&slot.provider, nullptr, nullptr, kinds[i].providerType,
                                        CRYPT_VERIFYCONTEXT)) {
            slot.ownsProvider = true;
        } else {
            // The error is read first: building the log statement may reset it.
            const DWORD error = GetLastError();
            HALVLIB_LOG(halvlib::logging::Error) << "CryptAcquireContextW failed: " << error;
            slot.provider = 0;
            slot.enabled = false;
            continue;
        }
        if (!CryptCreateHash(slot.provider, kinds[i].algorithm, 0, 0, &slot.hash)) {
            const DWORD error = GetLastError();
            HALVLIB_LOG(halvlib::logging::Error) << "CryptCreateHash failed: " << error;
            slot.hash = 0;
            slot.enabled = false;
        }
    }
}

MultiHasher::~MultiHasher()
{
    release();
}

void MultiHasher::release() noexcept
{
    if (!slots)
        return;
    for (std::size_t i = kinds.size(); i-- > 0;) {
        Slot& slot = slots[i];
        if (slot.hash != 0)
            CryptDestroyHash(slot.hash);
        if (slot.provider != 0 && slot.ownsProvider)
            CryptReleaseContext(slot.provider, 0);
        slot = Slot{};
    }
}

void MultiHasher::update(const void* data, std::size_t length)
{
    bytesFed += length;
    const auto* bytes = static_cast<const BYTE*>(data);
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (!slots[i].enabled)
            continue;
        // CryptHashData takes a DWORD length; feed larger inputs in pieces.
        const BYTE* next = bytes;
        std::size_t left = length;
        do {
            const DWORD piece = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            if (!CryptHashData(slots[i].hash, next, piece, 0))
                ThrowLastError("CryptHashData failed");
            next += piece;
            left -= piece;
        } while (left > 0);
    }
}

void MultiHasher::updateFromFile(HANDLE file)
{
    std::array<BYTE, 8192> buffer;
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0)
        update(buffer.data(), read);
}

bool MultiHasher::isEnabled(std::uint32_t algorithm) const
{
    return slots[slotIndex(algorithm)].enabled;
}

const MultiHasher::Slot& MultiHasher::enabledSlot(std::uint32_t algorithm) const
{
    const Slot& slot = slots[slotIndex(algorithm)];
    if (!slot.enabled)
        throw std::invalid_argument("invalid algorithm: not enabled in constructor");
    return slot;
}

std::string MultiHasher::digest(std::uint32_t algorithm) const
{
    const Slot& slot = enabledSlot(algorithm);
    DWORD size = 0;
    DWORD sizeLength = sizeof(size);
    if (!CryptGetHashParam(slot.hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeLength, 0))
        ThrowLastError("CryptGetHashParam(HP_HASHSIZE) failed");
    std::string value(size, '\0');
    if (!CryptGetHashParam(slot.hash, HP_HASHVAL, reinterpret_cast<BYTE*>(value.data()), &size, 0))
        ThrowLastError("CryptGetHashParam(HP_HASHVAL) failed");
    value.resize(size);
    return value;
}

std::string MultiHasher::hexDigest(std::uint32_t algorithm) const
{
    return toHex(digest(algorithm));
}

HCRYPTPROV MultiHasher::provider(std::uint32_t algorithm) const
{
    return enabledSlot(algorithm).provider;
}

HCRYPTHASH MultiHasher::hash(std::uint32_t algorithm) const
{
    return enabledSlot(algorithm).hash;
}

std::string toHex(const std::string& bytes)
{
    static constexpr char alphabet[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        text += alphabet[byte >> 4];
        text += alphabet[byte & 0x0f];
    }
    return text;
}

}  // namespace Setup
