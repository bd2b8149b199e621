#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "PackageTrust/Digests.h"

namespace Setup {

class DigestProviders;

// One signature as found in a manifest, with the certificates that vouch for it (PEM texts).
struct ManifestSignature {
    std::uint32_t algorithm = HashAlgorithm::sha384;
    std::string signature;           // base64
    std::string signer;              // PEM of the signer's certificate
    std::vector<std::string> chain;  // PEM of the intermediates, the signer's issuer first
};

struct SignedManifestText {
    SignedManifestText() = default;
    // The views point into text, so copies must re-point them.
    SignedManifestText(const SignedManifestText& other);
    SignedManifestText& operator=(const SignedManifestText& other);

    std::string text;                 // the kept lines
    std::string_view allText;         // all of text
    std::vector<ManifestSignature> blockSignatures;
    std::string_view body;            // the leading body lines of text
    std::vector<ManifestSignature> lineSignatures;
};

// One file listed by a manifest.
struct ManifestedFile {
    std::wstring fullPath;      // set by the loader
    std::wstring relativePath;
    std::uint64_t size = 0;
    std::string sha1;
    std::string sha256;
    std::string sha384;
    std::uint32_t digestMask = HashAlgorithm::sha1;

    // 0 good, 1 invalid (size or digest differs), 2 missing or not openable.
    int check() const;
    // The same, hashing with the given providers (shared by the checks of one package).
    int check(DigestProviders& providers) const;
};

// Rethrows a stream's failure under the text that names the failed state.
[[noreturn]] void throwStreamFailure(const std::ios_base::failure& failure);

// The stream must be binary with exceptions enabled for failbit and badbit.
SignedManifestText parseManifestFile(std::istream& stream);

// Replaces entries only when the whole stream was read cleanly; a syntax error leaves the
// stream failed and entries unchanged.
void parseManifestBody(std::istream& stream, std::vector<ManifestedFile>& entries);

}  // namespace Setup
