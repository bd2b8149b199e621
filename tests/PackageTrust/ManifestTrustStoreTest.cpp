#include <windows.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PackageTrust/ManifestTrustStore.h"
#include "PackageTrust/TrustFixtures.h"
#include "halvlib/String.h"
#include "support/TraceLogReset.h"
#include "Utilities/FileSystem.h"
#include "Utilities/Raii.h"

namespace Setup {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Pair;
using testing::StartsWith;

void Write(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

std::string EncodedBytes(PCCRL_CONTEXT crl)
{
    return std::string(reinterpret_cast<const char*>(crl->pbCrlEncoded), crl->cbCrlEncoded);
}

std::string EncodedBytes(PCCERT_CONTEXT certificate)
{
    return std::string(reinterpret_cast<const char*>(certificate->pbCertEncoded), certificate->cbCertEncoded);
}

template <class F>
std::string ErrorOf(F&& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(ManifestTrustStore, TakesOnlyCertificatesWithTheExactExtensionAndAPairedCrl)
{
    test::TempFolder folder;
    Write(folder / L"a.crt", "cert a");
    Write(folder / L"a.crl", "crl a");
    Write(folder / L"b.crt", "cert b without crl");
    Write(folder / L"c.CRT", "capital extension");
    Write(folder / L"c.crl", "crl c");
    Write(folder / L"d.crl", "crl without cert");

    ManifestTrustStore store({folder.Path().native(), L"C:\\no\\such\\folder", (folder / L"a.crt").native()});
    store.addRoot("built-in cert", "built-in crl");

    EXPECT_THAT(store.roots, ElementsAre(Pair("cert a", "crl a"), Pair("built-in cert", "built-in crl")));
    EXPECT_EQ(store.checkTimeValidity, 1);
}

TEST(ManifestTrustStore, FolderRootsComeInListingOrderBeforeLaterOnes)
{
    test::TempFolder first;
    test::TempFolder second;
    for (const char* name : {"x", "y"}) {
        Write(first / (std::string(name) + ".crt"), std::string("first ") + name);
        Write(first / (std::string(name) + ".crl"), "crl");
    }
    Write(second / L"z.crt", "second z");
    Write(second / L"z.crl", "crl");

    const ManifestTrustStore store({first.Path().native(), second.Path().native()});
    ASSERT_EQ(store.roots.size(), 3u);
    // Whatever order the listing gives within a folder, the first folder's pairs come first.
    EXPECT_THAT(store.roots[0].first, StartsWith("first "));
    EXPECT_THAT(store.roots[1].first, StartsWith("first "));
    EXPECT_EQ(store.roots[2].first, "second z");
}

TEST(ManifestTrustStore, AnUnreadableCrlFailsTheStoreWithItsPath)
{
    test::TempFolder folder;
    Write(folder / L"a.crt", "cert");
    Write(folder / L"a.crl", "crl");
    // Held open without sharing, so the store cannot open it.
    FileHandleGuard holder(CreateFileW((folder / L"a.crl").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(ErrorOf([&] { ManifestTrustStore store({folder.Path().native()}); }),
              "Failed to open " + (folder / L"a.crl").string());
}

TEST(ManifestTrustStore, CertificatesFolderIsUnderProgramDataAndLogged)
{
    test::TempFolder temp;
    SetTraceLogFile((temp / L"trace.log").wstring());
    const std::wstring folder = getManifestCertificatesFolder();
    test::ClearTraceLogFile();
    EXPECT_EQ(folder, utilities::GetProgramDataFolder() + L"\\Halvex\\Certificates\\AutoUpdate\\Manifest\\");
    EXPECT_THAT(test::ReadFile(temp / L"trace.log"),
                HasSubstr(" INFO : " + EscapeLogText("Manifest certificates folder: " + WideToUtf8(folder)) + "\r\n"));
}

TEST(ReadFileToString, KeepsEveryByte)
{
    test::TempFolder folder;
    const std::string content("a\r\nb\0c\n", 7);
    Write(folder / L"f.bin", content);
    EXPECT_EQ(readFileToString((folder / L"f.bin").native()), content);
    EXPECT_EQ(ErrorOf([&] { readFileToString((folder / L"missing").native()); }),
              "Failed to open " + (folder / L"missing").string());
}

TEST(DecodeBase64, TrimsWhiteSpaceAndGivesNothingForNothing)
{
    EXPECT_EQ(decodeBase64(" \t\r\nYWJj\n\v\f "), "abc");
    EXPECT_EQ(decodeBase64(""), "");
    EXPECT_EQ(decodeBase64("\r\n\t "), "");
    EXPECT_THROW(decodeBase64("not base64 at all!"), std::system_error);
}

TEST(DecodeCertificatePem, AcceptsPemAndBareBase64Alike)
{
    const std::string pem = test::trust::PkiText(L"root.crt");
    const auto fromPem = decodeCertificatePem(pem);

    std::string bare;
    std::istringstream lines(pem);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("-----", 0) != 0)
            bare += line;
    }
    const auto fromBare = decodeCertificatePem(bare);
    EXPECT_EQ(EncodedBytes(fromPem.get()), EncodedBytes(fromBare.get()));
}

TEST(DecodeCertificatePem, NamesWhatFailed)
{
    EXPECT_THAT(ErrorOf([] { decodeCertificatePem("*** not base64 ***"); }),
                StartsWith("CryptStringToBinaryA failed to determine length"));
    // Good base64 of bytes that are no certificate.
    EXPECT_THAT(ErrorOf([] { decodeCertificatePem("bm90IGEgY2VydGlmaWNhdGU="); }), StartsWith("Decoding certificate"));
}

TEST(DecodeCrlPem, CrLfLineEndsDecodeLikeLf)
{
    const auto lf = decodeCrlPem(test::trust::PkiText(L"root.crl"));
    const auto crlf = decodeCrlPem(test::trust::PkiText(L"root-crlf.crl"));
    EXPECT_EQ(EncodedBytes(lf.get()), EncodedBytes(crlf.get()));
}

TEST(DecodeCrlPem, RefusesBadFramesEmptyBodiesAndNonCrls)
{
    std::string pem = test::trust::PkiText(L"root.crl");
    ASSERT_EQ(pem.back(), '\n');

    std::string withoutFinalLf = pem.substr(0, pem.size() - 1);
    EXPECT_EQ(ErrorOf([&] { decodeCrlPem(withoutFinalLf); }), "Bad CRL PEM header/footer");
    EXPECT_EQ(ErrorOf([] { decodeCrlPem("-----END X509 CRL-----\n-----BEGIN X509 CRL-----\n"); }),
              "Bad CRL PEM header/footer");

    for (const std::string empty : {"", " \r\n\t\n"}) {
        try {
            decodeCrlPem("-----BEGIN X509 CRL-----\n" + empty + "-----END X509 CRL-----\n");
            ADD_FAILURE() << "decoded an empty CRL";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code().value(), ERROR_BAD_ARGUMENTS);
            EXPECT_THAT(e.what(), StartsWith("Cannot decode zero-length CRL"));
        }
    }
    EXPECT_THAT(ErrorOf([] { decodeCrlPem(test::trust::PkiText(L"bad.crl")); }), StartsWith("Decoding CRL"));
}

}  // namespace
}  // namespace Setup
