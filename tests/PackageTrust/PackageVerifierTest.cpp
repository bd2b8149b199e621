#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "halvlib/String.h"
#include "PackageTrust/Digests.h"
#include "PackageTrust/PackageVerifier.h"
#include "PackageTrust/TrustFixtures.h"
#include "Resources/ResourceIds.h"
#include "Resources/TrustRoot.h"
#include "support/CapturingLogger.h"
#include "support/Matchers.h"
#include "support/TraceLogReset.h"
#include "Utilities/FatalError.h"
#include "Utilities/FileSystem.h"
#include "Utilities/Raii.h"
#include "Utilities/TraceLog.h"

namespace Setup {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::HasSubstr;
using testing::Pair;

void Append(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

void Overwrite(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string Sha1Of(const std::string& text)
{
    MultiHasher hasher(HashAlgorithm::sha1);
    hasher.update(text.data(), text.size());
    return hasher.hexDigest(HashAlgorithm::sha1);
}

// The form in which the verifier's messages name a path.
std::string Named(const fs::path& path)
{
    return WideToUtf8(path.native());
}

struct Outcome {
    bool failed = false;
    FatalError::Type type = FatalError::Unknown;
    std::string message;
    std::pair<bool, bool> listed;
};

Outcome Verify(PackageVerifier verifier, const fs::path& folder)
{
    Outcome outcome;
    try {
        outcome.listed = verifier.verify(folder.native());
    } catch (const FatalError& e) {
        outcome.failed = true;
        outcome.type = e.Code();
        outcome.message = e.what();
    }
    return outcome;
}

Outcome Verify(const fs::path& folder, bool strict, const ManifestTrustStore& store = test::trust::TestRootStore())
{
    return Verify(PackageVerifier(store, strict), folder);
}

class PackageVerifierTest : public testing::Test {
protected:
    fs::path Copy(const wchar_t* package) { return test::trust::CopyPackage(package, temp); }

    test::TempFolder temp;
    test::CapturingLogger log;
};

TEST_F(PackageVerifierTest, ACorrectlySignedPackageVerifiesStrictly)
{
    for (const wchar_t* package : {L"good", L"block", L"deep-chain", L"broken-then-good", L"sha256-and-sha384",
                                   L"lines-and-block", L"expired-root"}) {
        ManifestTrustStore store = test::trust::TestRootStore();
        test::trust::AddRoot(store, L"expired-root");
        const Outcome outcome = Verify(Copy(package), true, store);
        EXPECT_FALSE(outcome.failed) << outcome.message;
        // Only the block package lists setup64.dll.
        EXPECT_EQ(outcome.listed, std::make_pair(true, std::wstring(package) == L"block"))
            << testing::PrintToString(std::wstring(package));
    }
}

TEST_F(PackageVerifierTest, EveryListedDigestMustHold)
{
    // SHA-384 and SHA-256 of a.txt hold, its SHA-1 does not.
    const fs::path package = Copy(L"wrong-sha1");
    const Outcome outcome = Verify(package, false);
    EXPECT_EQ(outcome.type, FatalError::ManifestError);
    EXPECT_EQ(outcome.message, "Manifest verification failure: Invalid file " + Named(package / L"a.txt"));
    EXPECT_THAT(log.Texts(halvlib::logging::Warning),
                Contains(test::MatchesEcmaRegex(".*a\\.txt: sha1 is [0-9a-f]{40}, expected 0{40}")));
}

TEST_F(PackageVerifierTest, AManifestThatCannotBeOpenedFailsAtOnce)
{
    const fs::path package = Copy(L"good");
    FileHandleGuard held(CreateFileW((package / L"manifest.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    const Outcome outcome = Verify(package, false);
    EXPECT_EQ(outcome.type, FatalError::ManifestError);
    EXPECT_EQ(outcome.message, "Manifest verification failure: ios_base::failbit set: iostream error");
}

TEST_F(PackageVerifierTest, NamesAreComparedCaseBlindWithoutDotElements)
{
    // CManifest.dat is an ordinary listed file, ./x.dll is X.DLL, sub/Manifest.DAT is a manifest.
    const Outcome outcome = Verify(Copy(L"names"), true);
    EXPECT_FALSE(outcome.failed) << outcome.message;
}

struct Damage {
    const char* name;
    std::function<void(const fs::path&)> apply;
    std::function<std::string(const fs::path&)> message;
    const char* warning;
    const wchar_t* package = L"good";
};

std::string Sha384Of(const std::string& text)
{
    MultiHasher hasher(HashAlgorithm::sha384);
    hasher.update(text.data(), text.size());
    return hasher.hexDigest(HashAlgorithm::sha384);
}

// Replaces the first occurrence of what in the package's root manifest.
void EditManifest(const fs::path& package, const std::string& what, const std::string& with)
{
    std::string text = test::ReadFile(package / L"manifest.dat");
    const std::size_t at = text.find(what);
    ASSERT_NE(at, std::string::npos) << what;
    text.replace(at, what.size(), with);
    Overwrite(package / L"manifest.dat", text);
}

std::string VerifyingError(const fs::path& package, const std::string& error)
{
    return "Error verifying file " + Named(package / L"manifest.dat") + ": " + error;
}

constexpr const char* kCorruptSignature = "Found corrupt signature: refusing to load unverified content";

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

class DamagedPackage : public PackageVerifierTest, public testing::WithParamInterface<Damage> {};

TEST_P(DamagedPackage, FailsAsAManifestError)
{
    const fs::path package = Copy(GetParam().package);
    GetParam().apply(package);
    for (const bool strict : {true, false}) {
        const Outcome outcome = Verify(package, strict);
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(outcome.type, FatalError::ManifestError);
        EXPECT_EQ(outcome.message, "Manifest verification failure: " + GetParam().message(package));
    }
    if (*GetParam().warning != '\0') {
        EXPECT_THAT(log.Texts(halvlib::logging::Warning), Contains(test::MatchesEcmaRegex(GetParam().warning)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedPackage,
    testing::Values(
        Damage{"ChangedByte",
               [](const fs::path& p) { Overwrite(p / L"a.txt", "alphA\n"); },
               [](const fs::path& p) { return "Invalid file " + Named(p / L"a.txt"); },
               "Corrupt manifested file .*a\\.txt: sha384 is [0-9a-f]{96}, expected [0-9a-f]{96}"},
        Damage{"ChangedSize",
               [](const fs::path& p) { Append(p / L"bin" / L"b.dll", "x"); },
               [](const fs::path& p) { return "Invalid file " + Named(p / L"bin" / L"b.dll"); },
               "Corrupt manifested file .*b\\.dll: size is 3001, expected 3000"},
        Damage{"MissingFile",
               [](const fs::path& p) { fs::remove(p / L"setup.dll"); },
               [](const fs::path& p) { return "Missing file " + Named(p / L"setup.dll"); },
               ""},
        Damage{"MissingFileOfASubFolderManifest",
               [](const fs::path& p) { fs::remove(p / L"sub" / L"bin" / L"c.dll"); },
               [](const fs::path& p) { return "Missing file " + Named(p / L"sub" / L"bin" / L"c.dll"); },
               ""},
        Damage{"TamperedManifest",
               [](const fs::path& p) {
                   std::string text = test::ReadFile(p / L"manifest.dat");
                   text.replace(text.find("\"setup.dll\" 6 "), 14, "\"setup.dll\" 7 ");
                   Overwrite(p / L"manifest.dat", text);
               },
               [](const fs::path& p) {
                   return "Error verifying file " + Named(p / L"manifest.dat") +
                          ": Found corrupt signature: refusing to load unverified content";
               },
               ""},
        Damage{"EntrySmuggledAfterTheSignature",
               [](const fs::path& p) {
                   Overwrite(p / L"evil.dll", "evil");
                   Append(p / L"manifest.dat", "\"evil.dll\" 4 " + Sha1Of("evil") + "\n");
               },
               [](const fs::path&) { return std::string("Manifest file parse error"); },
               ""},
        Damage{"LastLineWithoutLineFeed",
               [](const fs::path& p) { Append(p / L"manifest.dat", "# trailing"); },
               [](const fs::path&) { return std::string("ios_base::failbit set: iostream error"); },
               ""},
        // setup.dll is the last entry, so an unsigned digest line after the signatures would be
        // read as its digest, were it read at all.
        Damage{"FileChangedToMatchAnUnsignedDigestLine",
               [](const fs::path& p) {
                   Overwrite(p / L"setup.dll", "SETUP\n");
                   Append(p / L"manifest.dat", "#sha384 " + Sha384Of("SETUP\n") + "\n");
               },
               [](const fs::path&) { return std::string("Manifest file parse error"); },
               ""},
        Damage{"TamperedBlockSignedManifest",
               [](const fs::path& p) { EditManifest(p, "\"setup.dll\" 6 ", "\"setup.dll\" 7 "); },
               [](const fs::path& p) { return VerifyingError(p, kCorruptSignature); },
               "",
               L"block"},
        Damage{"BlockSignedManifestWithTextAfterItsLastBlock",
               [](const fs::path& p) { Append(p / L"manifest.dat", "# trailing\n"); },
               [](const fs::path&) { return std::string("Manifest file parse error"); },
               "",
               L"block"},
        Damage{"EntrySmuggledAfterTheSignatureBlock",
               [](const fs::path& p) {
                   Overwrite(p / L"evil.dll", "evil");
                   Append(p / L"manifest.dat", "\"evil.dll\" 4 " + Sha1Of("evil") + "\n");
               },
               [](const fs::path&) { return std::string("Manifest file parse error"); },
               "",
               L"block"},
        Damage{"FileChangedToMatchADigestLineAfterTheSignatureBlock",
               [](const fs::path& p) {
                   Overwrite(p / L"setup64.dll", "SETUP64\n");
                   Append(p / L"manifest.dat", "#sha384 " + Sha384Of("SETUP64\n") + "\n");
               },
               [](const fs::path&) { return std::string("Manifest file parse error"); },
               "",
               L"block"},
        Damage{"SignatureBlockWithoutItsBegin",
               [](const fs::path& p) { EditManifest(p, "-----BEGIN SIGNATURE-----\n", ""); },
               [](const fs::path& p) { return VerifyingError(p, "no signatures"); },
               "",
               L"block"},
        Damage{"SignatureBlockWithoutItsEnd",
               [](const fs::path& p) { EditManifest(p, "-----END SIGNATURE-----\n", ""); },
               [](const fs::path& p) { return VerifyingError(p, "no signatures"); },
               "",
               L"block"}));

// The signature's and the certificate's base64 are read by the trust code, whose own texts follow.
TEST_F(PackageVerifierTest, ACorruptBlockSignedManifestFailsToVerify)
{
    // "*!" is no base64, at the start of the signature's and of the signer's first line.
    for (const char* block : {"-----BEGIN SIGNATURE-----\n", "-----BEGIN CERTIFICATE-----\n"}) {
        SCOPED_TRACE(block);
        test::TempFolder into;
        const fs::path package = test::trust::CopyPackage(L"block", into);
        EditManifest(package, block, std::string(block) + "*!");
        const Outcome outcome = Verify(package, false);
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(outcome.type, FatalError::ManifestError);
        EXPECT_THAT(outcome.message,
                    testing::StartsWith("Manifest verification failure: " + VerifyingError(package, "")));
    }
}

struct UnsafeEntry {
    const wchar_t* package;
    const char* entry;  // as the manifest gives it; empty when the entry is bad syntax
};

void PrintTo(const UnsafeEntry& unsafe, std::ostream* out) { *out << WideToUtf8(unsafe.package); }

class UnsafeEntryPaths : public PackageVerifierTest, public testing::WithParamInterface<UnsafeEntry> {};

// Signed correctly, but with an entry that leads out of the package or to a device: nothing is
// opened through it, even where a file waits there that would pass the check.
TEST_P(UnsafeEntryPaths, RefuseTheManifest)
{
    const fs::path package = Copy(GetParam().package);
    Overwrite(temp / L"outside.txt", "outside\n");
    const std::string entry = GetParam().entry;
    const std::string expected = "Manifest verification failure: Error parsing file " +
                                 Named(package / L"manifest.dat") +
                                 (entry.empty() ? ": bad syntax" : ": unsafe entry path \"" + entry + "\"");
    for (const bool strict : {true, false}) {
        const Outcome outcome = Verify(package, strict);
        EXPECT_EQ(outcome.type, FatalError::ManifestError);
        EXPECT_EQ(outcome.message, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Packages, UnsafeEntryPaths,
    testing::Values(UnsafeEntry{L"unsafe-parent", "../outside.txt"},
                    UnsafeEntry{L"unsafe-inner-parent", "bin/../a.txt"},
                    UnsafeEntry{L"unsafe-backslash-parent", "bin\\..\\..\\outside.txt"},
                    UnsafeEntry{L"unsafe-slash-root", "/outside.txt"},
                    UnsafeEntry{L"unsafe-backslash-root", "\\outside.txt"},
                    UnsafeEntry{L"unsafe-unc", "\\\\server\\share\\outside.txt"},
                    UnsafeEntry{L"unsafe-device", "nul.txt"},
                    // A drive or a stream needs a colon, which no entry path may hold.
                    UnsafeEntry{L"unsafe-drive", ""},
                    UnsafeEntry{L"unsafe-stream", ""}));

// The system's attributes, but at item those that change makes of them.
AttributesReader ChangedAt(const fs::path& item, std::function<DWORD(DWORD)> change)
{
    return [item, change](const std::wstring& path) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (utilities::NormalisePathForComparison(path) != utilities::NormalisePathForComparison(item.native()))
            return attributes;
        return change(attributes);
    };
}

// A link reports itself as a reparse point.
AttributesReader LinkAt(const fs::path& link)
{
    return ChangedAt(link, [](DWORD attributes) { return attributes | FILE_ATTRIBUTE_REPARSE_POINT; });
}

std::string LinkFound(const fs::path& link)
{
    return "Manifest verification failure: ManifestedFolder: found a link in the package " + Named(link);
}

// Windows makes file and folder links, junctions and symbolic ones; Wine makes none, so the walk
// is shown them through its attribute reader.
TEST_F(PackageVerifierTest, ALinkAnywhereInThePackageFailsIt)
{
    const fs::path package = Copy(L"good");
    for (const fs::path& link : {package / L"a.txt", package / L"bin", package / L"sub" / L"bin" / L"c.dll",
                                 package / L"manifest.dat", package / L"sub" / L"manifest.dat"}) {
        for (const bool strict : {true, false}) {
            SCOPED_TRACE(Named(link) + (strict ? " strict" : " lenient"));
            const Outcome outcome =
                Verify(PackageVerifier(test::trust::TestRootStore(), strict, LinkAt(link)), package);
            EXPECT_EQ(outcome.type, FatalError::ManifestError);
            EXPECT_EQ(outcome.message, LinkFound(link));
        }
    }
    // An unlisted link fails a lenient check too: what it leads to is nobody's to vouch for.
    Overwrite(package / L"extra.txt", "extra");
    const Outcome outcome =
        Verify(PackageVerifier(test::trust::TestRootStore(), false, LinkAt(package / L"extra.txt")), package);
    EXPECT_EQ(outcome.message, LinkFound(package / L"extra.txt"));
}

TEST_F(PackageVerifierTest, AnItemWhoseAttributesCannotBeReadFailsThePackage)
{
    const fs::path package = Copy(L"good");
    const AttributesReader unreadable =
        ChangedAt(package / L"bin" / L"b.dll", [](DWORD) -> DWORD { return INVALID_FILE_ATTRIBUTES; });
    const Outcome outcome = Verify(PackageVerifier(test::trust::TestRootStore(), false, unreadable), package);
    EXPECT_EQ(outcome.type, FatalError::ManifestError);
    EXPECT_THAT(outcome.message, testing::StartsWith("Manifest verification failure: GetFileAttributesW failed: "));
}

// The link that the fixture script made on the host is one that Wine shows as a folder link.
TEST_F(PackageVerifierTest, AFolderLinkInThePackageFailsIt)
{
    const fs::path package = test::trust::Fixtures() / L"packages" / L"folder-link";
    const DWORD attributes = GetFileAttributesW((package / L"linked").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "this system shows the fixture's folder link as no reparse point";
    ASSERT_TRUE(fs::exists(package / L"linked" / L"evil.dll"));
    for (const bool strict : {true, false}) {
        const Outcome outcome = Verify(package, strict);
        EXPECT_EQ(outcome.type, FatalError::ManifestError);
        EXPECT_EQ(outcome.message, LinkFound(package / L"linked"));
    }
}

struct Refusal {
    const wchar_t* package;
    const char* error;  // after "Error verifying file <manifest>: "
    const char* warning;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << WideToUtf8(refusal.package); }

class RefusedSignatures : public PackageVerifierTest, public testing::WithParamInterface<Refusal> {};

TEST_P(RefusedSignatures, FailWithTheLoadersText)
{
    const fs::path package = Copy(GetParam().package);
    const Outcome outcome = Verify(package, false);
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.type, FatalError::ManifestError);
    EXPECT_EQ(outcome.message, "Manifest verification failure: Error verifying file " + Named(package / L"manifest.dat") +
                                   ": " + GetParam().error);
    if (*GetParam().warning != '\0') {
        EXPECT_THAT(log.Texts(halvlib::logging::Warning), Contains(HasSubstr(GetParam().warning)));
    }
}

constexpr const char* kNotVerified = "Could not verify any signatures: refusing to load unverified content";

INSTANTIATE_TEST_SUITE_P(
    Packages, RefusedSignatures,
    testing::Values(
        Refusal{L"untrusted", kNotVerified, "Intermediate certificate was not issued by a trusted root CA certificate"},
        Refusal{L"revoked", kNotVerified, "Issuer revoked the subject certificate"},
        Refusal{L"expired-signer", kNotVerified, "Certificate expired: "},
        Refusal{L"future-signer", kNotVerified, "Certificate expired: "},
        Refusal{L"expired-intermediate", kNotVerified, "Certificate expired: "},
        Refusal{L"direct-signer", kNotVerified, "Empty intermediate certificates chain"},
        Refusal{L"dev-root", kNotVerified, "Intermediate certificate was not issued by a trusted root CA certificate"},
        Refusal{L"unsigned", "no signatures", ""},
        Refusal{L"unknown-algorithm", "no signatures", ""},
        Refusal{L"corrupt-then-good", "Found corrupt signature: refusing to load unverified content", ""},
        Refusal{L"sha1-line-only", "Could not find any signatures: refusing to load unverified content", ""}));

TEST_F(PackageVerifierTest, AWrongRootTrustsNothing)
{
    ManifestTrustStore store({});
    test::trust::AddRoot(store, L"other-root");
    const fs::path package = Copy(L"good");
    const Outcome outcome = Verify(package, true, store);
    EXPECT_EQ(outcome.type, FatalError::ManifestError);
    EXPECT_THAT(outcome.message, HasSubstr(kNotVerified));
}

TEST_F(PackageVerifierTest, UnlistedFilesFailOnlyAStrictCheckAfterEachIsLogged)
{
    const fs::path package = Copy(L"good");
    Overwrite(package / L"extra.txt", "extra");
    Overwrite(package / L"bin" / L"Another.txt", "another");
    Overwrite(package / L"CManifest.dat", "a catalog is no manifest");
    fs::create_directories(package / L"empty-folder");

    EXPECT_FALSE(Verify(package, false).failed);

    SetTraceLogFile((temp / L"trace.log").wstring());
    const Outcome strict = Verify(package, true);
    test::ClearTraceLogFile();
    EXPECT_TRUE(strict.failed);
    EXPECT_EQ(strict.type, FatalError::ExtraFileInPackage);
    EXPECT_EQ(strict.message, "Unmanifested file(s) found in package");

    const std::string trace = test::ReadFile(temp / L"trace.log");
    // The trace log escapes backslashes.
    auto missing = [](const fs::path& path) {
        return EscapeLogText("File missing from manifest: " +
                             Named(utilities::NormalisePathForComparison(path.native())));
    };
    const std::string first = missing(package / L"bin" / L"Another.txt");
    const std::string second = missing(package / L"extra.txt");
    ASSERT_THAT(trace, HasSubstr(first));
    ASSERT_THAT(trace, HasSubstr(second));
    EXPECT_THAT(trace, HasSubstr(missing(package / L"CManifest.dat")));
    EXPECT_THAT(trace, HasSubstr(" ERROR : " + first));
    EXPECT_LT(trace.find(first), trace.find(second));
    EXPECT_THAT(trace, testing::Not(HasSubstr("EMPTY-FOLDER")));
}

TEST_F(PackageVerifierTest, AManifestOverOneMebibyteIsAnOrdinaryFile)
{
    const fs::path package = Copy(L"size-limit");
    ASSERT_EQ(fs::file_size(package / L"manifest.dat"), kMaximumManifestSize);
    ASSERT_EQ(fs::file_size(package / L"sub2" / L"xmanifest.dat"), kMaximumManifestSize + 1);
    EXPECT_FALSE(Verify(package, false).failed);
    const Outcome strict = Verify(package, true);
    EXPECT_EQ(strict.type, FatalError::ExtraFileInPackage);
}

TEST_F(PackageVerifierTest, FolderShapesWithoutARootManifestFail)
{
    const fs::path subOnly = Copy(L"sub-only");
    Outcome outcome = Verify(subOnly, false);
    EXPECT_EQ(outcome.type, FatalError::ManifestError);
    EXPECT_EQ(outcome.message, "Manifest verification failure: ManifestedFolder: did not find a root manifest file " +
                                   Named(subOnly / L"manifest.dat"));

    const fs::path empty = temp / L"empty";
    fs::create_directories(empty / L"folder");
    outcome = Verify(empty, false);
    EXPECT_EQ(outcome.message, "Manifest verification failure: ManifestedFolder: no manifest files found in " +
                                   Named(empty));

    outcome = Verify(temp / L"no-such-folder", false);
    EXPECT_EQ(outcome.type, FatalError::ManifestError);
    EXPECT_THAT(outcome.message, testing::StartsWith("Manifest verification failure: "));
}

TEST_F(PackageVerifierTest, CrLfLineEndsAreBadSyntax)
{
    const fs::path package = Copy(L"crlf");
    const Outcome outcome = Verify(package, false);
    EXPECT_EQ(outcome.message,
              "Manifest verification failure: Error parsing file " + Named(package / L"manifest.dat") + ": bad syntax");
}

TEST_F(PackageVerifierTest, RootsOfTheCertificatesFolderAreTrusted)
{
    test::TempFolder certificates;
    fs::copy_file(test::trust::Pki(L"root.crt"), certificates / L"test.crt");
    fs::copy_file(test::trust::Pki(L"root.crl"), certificates / L"test.crl");
    const ManifestTrustStore store({certificates.Path().native()});
    EXPECT_FALSE(Verify(Copy(L"good"), true, store).failed);
}

std::string BuiltInResource(int id)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"BINARY");
    if (found == nullptr)
        return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return std::string(bytes, SizeofResource(nullptr, found));
}

TEST_F(PackageVerifierTest, TheBuiltInRootAnchorsPackagesOfItsOwnPki)
{
    const std::string root = BuiltInResource(IDR_MANIFEST_ROOT_CERTIFICATE);
    const std::string crl = BuiltInResource(IDR_MANIFEST_ROOT_CRL);
    ASSERT_FALSE(root.empty());
    ASSERT_FALSE(crl.empty());
    decodeCertificatePem(root);
    decodeCrlPem(crl);
#if HALVEX_BUILT_IN_ROOT_IS_DEVELOPMENT
    ManifestTrustStore store({});
    store.addRoot(root, crl);
    const Outcome outcome = Verify(Copy(L"dev-root"), true, store);
    EXPECT_FALSE(outcome.failed) << outcome.message;
    EXPECT_TRUE(Verify(Copy(L"good"), true, store).failed);
#else
    GTEST_SKIP() << "built with the maker's root, which signs no test package";
#endif
}

}  // namespace
}  // namespace Setup
