#include <windows.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "halvlib/String.h"
#include "PackageTrust/Digests.h"
#include "PackageTrust/ManifestParser.h"
#include "PackageTrust/SignatureVerification.h"
#include "PackageTrust/TrustFixtures.h"
#include "support/CapturingLogger.h"
#include "support/Matchers.h"

namespace Setup {
namespace {

namespace fs = std::filesystem;
using test::trust::AddRoot;
using test::trust::PkiText;
using testing::Contains;
using testing::HasSubstr;
using utilities::crypt::CertificateContextGuard;

CertificateContextGuard Certificate(const std::wstring& name)
{
    return decodeCertificatePem(PkiText(name + L".crt"));
}

std::vector<std::string> Chain(const std::vector<const wchar_t*>& names)
{
    std::vector<std::string> chain;
    for (const wchar_t* name : names)
        chain.push_back(PkiText(std::wstring(name) + L".crt"));
    return chain;
}

std::string NameOf(const std::wstring& certificate)
{
    return subjectNameOf(Certificate(certificate).get());
}

// "" when the chain is trusted, else the failure's text.
std::string ChainResult(const std::wstring& signer, const std::vector<const wchar_t*>& chain,
                        const ManifestTrustStore& store)
{
    try {
        verifyChainToTrustedRoot(Certificate(signer).get(), Chain(chain), store, true);
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

SignedManifestText ParseManifest(const std::wstring& package)
{
    std::ifstream stream(test::trust::Fixtures() / L"packages" / package / L"manifest.dat", std::ios::binary);
    stream.exceptions(std::ios::failbit | std::ios::badbit);
    return parseManifestFile(stream);
}

TEST(ChainToTrustedRoot, GoodChainsOfOneAndTwoIntermediatesAreTrusted)
{
    const ManifestTrustStore store = test::trust::TestRootStore();
    EXPECT_EQ(ChainResult(L"signer", {L"intermediate"}, store), "");
    EXPECT_EQ(ChainResult(L"deep-signer", {L"second-intermediate", L"intermediate"}, store), "");
}

TEST(ChainToTrustedRoot, ASignerIssuedByTheRootItselfIsRefused)
{
    try {
        verifyChainToTrustedRoot(Certificate(L"direct-signer").get(), {}, test::trust::TestRootStore(), true);
        ADD_FAILURE();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Empty intermediate certificates chain");
    }
}

TEST(ChainToTrustedRoot, ExpiredOrNotYetValidLinksNameBothTimes)
{
    const ManifestTrustStore store = test::trust::TestRootStore();
    // The times are the fixtures' own, in UTC.
    const std::string expired = ": NotBefore 2018-01-01T00:00:00Z, NotAfter 2021-01-01T00:00:00Z";
    const std::string future = ": NotBefore 2040-01-01T00:00:00Z, NotAfter 2045-01-01T00:00:00Z";
    struct Case {
        const wchar_t* signer;
        const wchar_t* intermediate;
        const wchar_t* expired;
        const wchar_t* issuer;
        const std::string& times;
    };
    for (const Case& c :
         {Case{L"signer-under-expired", L"expired-intermediate", L"expired-intermediate", L"root", expired},
          Case{L"expired-signer", L"intermediate", L"expired-signer", L"intermediate", expired},
          Case{L"future-signer", L"intermediate", L"future-signer", L"intermediate", future}}) {
        EXPECT_EQ(ChainResult(c.signer, {c.intermediate}, store),
                  "Certificate verification failed:\n\tCertificate expired: " + NameOf(c.expired) + c.times +
                      "\n\tSubject: " + NameOf(c.expired) + "\n\tIssuer: " + NameOf(c.issuer))
            << testing::PrintToString(std::wstring(c.signer));
    }
}

TEST(ChainToTrustedRoot, ALinkNotSignedByTheNextIsRefused)
{
    EXPECT_EQ(ChainResult(L"deep-signer", {L"intermediate"}, test::trust::TestRootStore()),
              "Certificate verification failed:\n\tIssuer did not sign the subject certificate\n\tSubject: " +
                  NameOf(L"deep-signer") + "\n\tIssuer: " + NameOf(L"intermediate"));
}

TEST(ChainToTrustedRoot, RevocationIsReadFromTheRootsOwnCrlEvenWhenItIsOutOfDate)
{
    const std::string revoked = "Certificate verification failed:\n\tIssuer revoked the subject certificate\n\tSubject: " +
                                NameOf(L"revoked-intermediate") + "\n\tIssuer: " + NameOf(L"root");
    for (const wchar_t* crl : {L"root.crl", L"root-stale.crl"}) {
        ManifestTrustStore store({});
        AddRoot(store, L"root", crl);
        EXPECT_EQ(ChainResult(L"revoked-signer", {L"revoked-intermediate"}, store), revoked);
        EXPECT_EQ(ChainResult(L"signer", {L"intermediate"}, store), "");
    }

    ManifestTrustStore empty({});
    AddRoot(empty, L"root", L"root-empty.crl");
    EXPECT_EQ(ChainResult(L"revoked-signer", {L"revoked-intermediate"}, empty), "");

    // A CRL of another issuer does not count as the root's: no CRL means revoked.
    ManifestTrustStore foreign({});
    AddRoot(foreign, L"root", L"other-root.crl");
    EXPECT_THAT(ChainResult(L"signer", {L"intermediate"}, foreign), HasSubstr("Issuer revoked the subject certificate"));
}

TEST(ChainToTrustedRoot, ARevokedIntermediateIsNotTriedAgainstALaterRoot)
{
    ManifestTrustStore store({});
    AddRoot(store, L"root");
    AddRoot(store, L"root", L"root-empty.crl");
    EXPECT_THAT(ChainResult(L"revoked-signer", {L"revoked-intermediate"}, store),
                HasSubstr("Issuer revoked the subject certificate"));
}

TEST(ChainToTrustedRoot, RootsAreTriedInOrderUntilOneSignedTheLastIntermediate)
{
    const std::string untrusted = "Intermediate certificate was not issued by a trusted root CA certificate: " +
                                  NameOf(L"intermediate") + " thumbprint " +
                                  thumbprintOf(Certificate(L"intermediate").get());

    ManifestTrustStore twinFirst({});
    AddRoot(twinFirst, L"other-root");
    AddRoot(twinFirst, L"root-twin");
    AddRoot(twinFirst, L"root");
    EXPECT_EQ(ChainResult(L"signer", {L"intermediate"}, twinFirst), "");

    ManifestTrustStore twinOnly({});
    AddRoot(twinOnly, L"root-twin");
    EXPECT_EQ(ChainResult(L"signer", {L"intermediate"}, twinOnly), untrusted);

    EXPECT_EQ(ChainResult(L"signer", {L"intermediate"}, ManifestTrustStore({})), untrusted);
}

TEST(ChainToTrustedRoot, AMalformedCrlOfAnEarlierCandidateFailsEveryChain)
{
    ManifestTrustStore store({});
    AddRoot(store, L"other-root", L"bad.crl");
    AddRoot(store, L"root");
    EXPECT_THAT(ChainResult(L"signer", {L"intermediate"}, store), testing::StartsWith("Decoding CRL"));
}

TEST(ChainToTrustedRoot, AnExpiredRootStillAnchors)
{
    ManifestTrustStore store({});
    AddRoot(store, L"expired-root");
    EXPECT_EQ(ChainResult(L"expired-root-signer", {L"expired-root-intermediate"}, store), "");
}

TEST(ChainToTrustedRoot, LogsEachStepAtDebugLevel)
{
    test::CapturingLogger log;
    ASSERT_EQ(ChainResult(L"signer", {L"intermediate"}, test::trust::TestRootStore()), "");
    const std::string signer = NameOf(L"signer") + " thumbprint " + thumbprintOf(Certificate(L"signer").get());
    const std::string intermediate =
        NameOf(L"intermediate") + " thumbprint " + thumbprintOf(Certificate(L"intermediate").get());
    const std::string root = NameOf(L"root") + " thumbprint " + thumbprintOf(Certificate(L"root").get());
    EXPECT_THAT(log.Texts(halvlib::logging::Debug),
                testing::ElementsAre("Verifying subject cert (" + signer + ") against issuer (" + intermediate +
                                         ") with flags (3)",
                                     "Finding root CA cert for intermediate cert " + intermediate,
                                     "Candidate root CA cert " + root,
                                     "Verifying subject cert (" + intermediate + ") against issuer (" + root +
                                         ") with flags (7)"));
}

TEST(ChainToTrustedRoot, ThumbprintsAreTheSha1OfTheEncodedCertificate)
{
    for (const wchar_t* name : {L"signer", L"intermediate", L"root"}) {
        const CertificateContextGuard certificate = Certificate(name);
        MultiHasher hasher(HashAlgorithm::sha1);
        hasher.update(certificate.get()->pbCertEncoded, certificate.get()->cbCertEncoded);
        // Asked twice: the second answer comes from what the first left on the context.
        EXPECT_EQ(thumbprintOf(certificate.get()), hasher.hexDigest(HashAlgorithm::sha1));
        EXPECT_EQ(thumbprintOf(certificate.get()), hasher.hexDigest(HashAlgorithm::sha1));
    }
}

// A path whose signatures and dates hold, checked for the rules of a certification path.
struct PathCase {
    const char* name;
    const wchar_t* signer;
    std::vector<const wchar_t*> chain;
    const char* refusal;  // "" when trusted
    const wchar_t* named;  // the certificate the refusal names
    const wchar_t* root;
};

void PrintTo(const PathCase& c, std::ostream* out) { *out << c.name; }

class CertificationPath : public testing::TestWithParam<PathCase> {};

TEST_P(CertificationPath, IsTrustedOnlyWhenEveryIssuerMayIssueIt)
{
    const PathCase& c = GetParam();
    ManifestTrustStore store({});
    AddRoot(store, c.root);
    const std::string result = ChainResult(c.signer, c.chain, store);
    if (*c.refusal == '\0')
        EXPECT_EQ(result, "");
    else
        EXPECT_EQ(result, c.refusal + NameOf(c.named) + " thumbprint " + thumbprintOf(Certificate(c.named).get()));
}

constexpr const char* kNotCa = "Certificate is not a CA: ";
constexpr const char* kPathLength = "Certificate path length constraint exceeded: ";
constexpr const char* kIssuerName = "Certificate issuer name does not match the subject of the next certificate: ";
constexpr const char* kSelfIssued = "Chain certificate is self-issued: ";

INSTANTIATE_TEST_SUITE_P(
    Chains, CertificationPath,
    testing::Values(
        PathCase{"ca-without-key-usage", L"signer-under-no-key-usage", {L"no-key-usage-intermediate"}, "", nullptr,
                 L"root"},
        PathCase{"signer-right-below-path-length-0", L"signer-under-path-length-0", {L"path-length-0-intermediate"},
                 "", nullptr, L"root"},
        PathCase{"one-intermediate-below-root-path-length-1", L"short-root-signer", {L"short-root-intermediate"}, "",
                 nullptr, L"short-root"},
        PathCase{"tls-server-as-issuer", L"signer-under-server", {L"server", L"intermediate"}, kNotCa, L"server",
                 L"root"},
        PathCase{"no-basic-constraints", L"signer-under-no-constraints", {L"no-constraints-intermediate"}, kNotCa,
                 L"no-constraints-intermediate", L"root"},
        PathCase{"ca-false", L"signer-under-not-ca", {L"not-ca-intermediate"}, kNotCa, L"not-ca-intermediate",
                 L"root"},
        PathCase{"key-usage-without-cert-sign", L"signer-under-no-cert-sign", {L"no-cert-sign-intermediate"},
                 "Certificate key usage does not allow signing certificates: ", L"no-cert-sign-intermediate", L"root"},
        PathCase{"ca-below-path-length-0", L"signer-below-path-length-0",
                 {L"below-path-length-0", L"path-length-0-intermediate"}, kPathLength, L"path-length-0-intermediate",
                 L"root"},
        PathCase{"two-intermediates-below-root-path-length-1", L"short-root-deep-signer",
                 {L"short-root-second-intermediate", L"short-root-intermediate"}, kPathLength, L"short-root",
                 L"short-root"},
        PathCase{"signer-issuer-name-differs", L"signer-via-alias", {L"intermediate"}, kIssuerName,
                 L"signer-via-alias", L"root"},
        PathCase{"intermediate-issuer-name-differs", L"signer-under-misnamed",
                 {L"misnamed-intermediate", L"intermediate"}, kIssuerName, L"misnamed-intermediate", L"root"},
        PathCase{"root-as-only-intermediate", L"direct-signer", {L"root"}, kSelfIssued, L"root", L"root"},
        PathCase{"root-above-intermediate", L"signer", {L"intermediate", L"root"}, kSelfIssued, L"root", L"root"},
        PathCase{"self-signed-signer", L"self-signed-signer", {L"self-signed-signer-intermediate"},
                 "Signer certificate is self-issued: ", L"self-signed-signer", L"root"}));

TEST(ChainToTrustedRoot, AnUndecodableKeyUsageIsNotTakenForNone)
{
    EXPECT_THAT(ChainResult(L"signer-under-bad-key-usage", {L"bad-key-usage-intermediate"},
                            test::trust::TestRootStore()),
                testing::StartsWith("CryptDecodeObjectEx failed: "));
}

TEST(SignatureCheck, HoldsForTheSignedBytesOnly)
{
    const SignedManifestText manifest = ParseManifest(L"good");
    ASSERT_EQ(manifest.lineSignatures.size(), 1u);
    const ManifestSignature& signature = manifest.lineSignatures[0];
    const CertificateContextGuard signer = decodeCertificatePem(signature.signer);
    const std::string body(manifest.body);
    EXPECT_TRUE(verifySignature(HashAlgorithm::sha384, signature.signature, body.data(), body.size(), signer.get()));

    std::string changed = body;
    changed[changed.size() / 2] ^= 1;
    EXPECT_FALSE(verifySignature(HashAlgorithm::sha384, signature.signature, changed.data(), changed.size(), signer.get()));
    // The right key is needed too.
    const CertificateContextGuard other = Certificate(L"other-signer");
    EXPECT_FALSE(verifySignature(HashAlgorithm::sha384, signature.signature, body.data(), body.size(), other.get()));
    EXPECT_THROW(verifySignature(HashAlgorithm::sha384 | HashAlgorithm::sha1, signature.signature, body.data(),
                                 body.size(), signer.get()),
                 std::invalid_argument);
}

struct SignaturesCase {
    const wchar_t* package;
    std::uint32_t mask;
    const char* error;  // "" when accepted
    const char* warning;
};

void PrintTo(const SignaturesCase& c, std::ostream* out) { *out << WideToUtf8(c.package); }

class ManifestSignatures : public testing::TestWithParam<SignaturesCase> {};

TEST_P(ManifestSignatures, DecideOnTheFirstValidSignatureThatChains)
{
    const SignaturesCase& c = GetParam();
    const SignedManifestText manifest = ParseManifest(c.package);
    const auto& signatures = c.mask == HashAlgorithm::sha1 ? manifest.blockSignatures : manifest.lineSignatures;
    const std::string_view data = c.mask == HashAlgorithm::sha1 ? manifest.allText : manifest.body;
    test::CapturingLogger log;
    std::string error;
    try {
        verifyManifestSignatures(test::trust::TestRootStore(), signatures, c.mask, data.data(), data.size());
    } catch (const std::runtime_error& e) {
        error = e.what();
    }
    EXPECT_EQ(error, c.error);
    if (*c.warning != '\0')
        EXPECT_THAT(log.Texts(halvlib::logging::Warning), Contains(HasSubstr(c.warning)));
    else
        EXPECT_THAT(log.Texts(halvlib::logging::Warning), testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Packages, ManifestSignatures,
    testing::Values(
        SignaturesCase{L"good", HashAlgorithm::sha384, "", ""},
        SignaturesCase{L"block", HashAlgorithm::sha1, "", ""},
        SignaturesCase{L"broken-then-good", HashAlgorithm::sha384, "",
                       "Intermediate certificate was not issued by a trusted root CA certificate"},
        SignaturesCase{L"corrupt-then-good", HashAlgorithm::sha384,
                       "Found corrupt signature: refusing to load unverified content", ""},
        SignaturesCase{L"sha256-and-sha384", HashAlgorithm::sha384, "", ""},
        SignaturesCase{L"sha1-line-only", HashAlgorithm::sha384,
                       "Could not find any signatures: refusing to load unverified content", ""},
        SignaturesCase{L"untrusted", HashAlgorithm::sha384,
                       "Could not verify any signatures: refusing to load unverified content",
                       "Intermediate certificate was not issued by a trusted root CA certificate"},
        SignaturesCase{L"direct-signer", HashAlgorithm::sha384,
                       "Could not verify any signatures: refusing to load unverified content",
                       "Empty intermediate certificates chain"},
        SignaturesCase{L"signed-under-server", HashAlgorithm::sha384,
                       "Could not verify any signatures: refusing to load unverified content",
                       "Certificate is not a CA: Halvex Test Server thumbprint "}));

}  // namespace
}  // namespace Setup
