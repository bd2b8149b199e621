#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "halvlib/String.h"
#include "Utilities/FatalError.h"
#include "PackageTrust/Digests.h"
#include "PackageTrust/PackageVerifier.h"
#include "PackageTrust/TrustFixtures.h"
#include "Resources/ResourceIds.h"
#include "support/CapturingLogger.h"
#include "support/Matchers.h"
#include "support/TraceLogReset.h"
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

Outcome Verify(const fs::path& folder, bool strict, const ManifestTrustStore& store = test::trust::TestRootStore())
{
    Outcome outcome;
    try {
        PackageVerifier verifier(store, strict);
        outcome.listed = verifier.verify(folder.native());
    } catch (const FatalError& e) {
        outcome.failed = true;
        outcome.type = e.Code();
        outcome.message = e.what();
    }
    return outcome;
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
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

class DamagedPackage : public PackageVerifierTest, public testing::WithParamInterface<Damage> {};

TEST_P(DamagedPackage, FailsAsAManifestError)
{
    const fs::path package = Copy(L"good");
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
               ""}));

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
