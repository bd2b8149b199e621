#include <ios>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PackageTrust/Digests.h"
#include "PackageTrust/ManifestParser.h"

namespace Setup {
namespace {

using namespace std::string_literals;

const std::string kSha1 = "a9993e364706816aba3e25717850c26c9cd0d89d";
const std::string kSha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kSha384 =
    "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7";
const std::string kStreamFailure = "ios_base::failbit set: iostream error";

// The loader opens manifests this way, so the parser is tested under the same stream settings.
SignedManifestText parseFile(const std::string& bytes)
{
    std::istringstream stream(bytes, std::ios::in | std::ios::binary);
    stream.exceptions(std::ios::failbit | std::ios::badbit);
    return parseManifestFile(stream);
}

struct Outcome {
    enum Kind { parsed, streamFailure, runtimeError } kind;
    std::string what;
};

// ios_base::failure is itself a runtime_error, so the two are told apart here rather than by
// EXPECT_THROW.
Outcome parseOutcome(const std::string& bytes)
{
    try {
        parseFile(bytes);
        return {Outcome::parsed, ""};
    } catch (const std::ios_base::failure& e) {
        EXPECT_EQ(e.code(), std::make_error_code(std::io_errc::stream));
        return {Outcome::streamFailure, e.what()};
    } catch (const std::runtime_error& e) {
        return {Outcome::runtimeError, e.what()};
    }
}

// Returns whether the reader finished without failing the stream.
bool readBody(const std::string& text, std::vector<ManifestedFile>& entries)
{
    std::istringstream stream(text);
    parseManifestBody(stream, entries);
    return !stream.fail();
}

std::string pem(const std::string& base64)
{
    return "-----BEGIN CERTIFICATE-----\n" + base64 + "\n-----END CERTIFICATE-----\n";
}

std::string entry(const std::string& path, const std::string& size, const std::string& sha1)
{
    return "\"" + path + "\" " + size + " " + sha1 + "\n";
}

// Views that point anywhere but into text would dangle once the parse result moves or is copied.
void expectViewsIntoText(const SignedManifestText& manifest, std::size_t bodySize)
{
    EXPECT_EQ(manifest.allText.data(), manifest.text.data());
    EXPECT_EQ(manifest.allText.size(), manifest.text.size());
    EXPECT_EQ(manifest.body.data(), manifest.text.data());
    EXPECT_EQ(manifest.body.size(), bodySize);
}

// --- Layouts ---

TEST(ManifestParserLayout, LineSignedKeepsEveryLineAndSignsOnlyTheBody)
{
    const std::string body = entry("bin/setup.exe", "1024", kSha1) + "#sha384 " + kSha384 + "\n" +
                             "# a comment\n" + entry("data\\en.pak", "7", kSha1);
    const std::string signatures = "#sig sha384 c2lnbmF0dXJl+/==\n"
                                   "#... cert U0lHTkVS\n"
                                   "#... cert SU5URVIx\n"
                                   "#... key bm90IGEgY2VydA==\n"
                                   "# between\n"
                                   "#... cert SU5URVIy\n";
    const SignedManifestText manifest = parseFile(body + signatures);

    EXPECT_EQ(manifest.text, body + signatures);
    EXPECT_EQ(std::string(manifest.body), body);
    expectViewsIntoText(manifest, body.size());
    EXPECT_TRUE(manifest.blockSignatures.empty());
    ASSERT_EQ(manifest.lineSignatures.size(), 1u);
    const ManifestSignature& signature = manifest.lineSignatures[0];
    EXPECT_EQ(signature.algorithm, HashAlgorithm::sha384);
    EXPECT_EQ(signature.signature, "c2lnbmF0dXJl+/==");
    EXPECT_EQ(signature.signer, "-----BEGIN CERTIFICATE-----\nU0lHTkVS\n-----END CERTIFICATE-----\n");
    // The "key" line is no certificate, so it must not take a place in the chain.
    EXPECT_EQ(signature.chain, (std::vector<std::string>{pem("SU5URVIx"), pem("SU5URVIy")}));

    // The signature and certificate lines are comments to the entry reader.
    std::vector<ManifestedFile> entries;
    ASSERT_TRUE(readBody(manifest.text, entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].relativePath, L"bin/setup.exe");
    EXPECT_EQ(entries[0].sha384, kSha384);
    EXPECT_EQ(entries[1].relativePath, L"data\\en.pak");
}

TEST(ManifestParserLayout, CertificatesGoToTheSignatureLineAboveThem)
{
    const SignedManifestText manifest = parseFile("# body\n"
                                                  "#sig sha256 QUFB\n"
                                                  "#... cert QQ==\n"
                                                  "#sig sha384 QkJC\n"
                                                  "#... cert Qg==\n"
                                                  "#... cert Qw==\n");
    EXPECT_EQ(std::string(manifest.body), "# body\n");
    ASSERT_EQ(manifest.lineSignatures.size(), 2u);
    EXPECT_EQ(manifest.lineSignatures[0].signer, pem("QQ=="));
    EXPECT_TRUE(manifest.lineSignatures[0].chain.empty());
    EXPECT_EQ(manifest.lineSignatures[1].signer, pem("Qg=="));
    EXPECT_EQ(manifest.lineSignatures[1].chain, std::vector<std::string>{pem("Qw==")});
}

TEST(ManifestParserLayout, SignatureLinesAloneGiveAnEmptyBody)
{
    const std::string file = "#sig sha384 QUFB\n#... cert QQ==\n";
    const SignedManifestText manifest = parseFile(file);
    EXPECT_EQ(manifest.text, file);
    expectViewsIntoText(manifest, 0);
    EXPECT_EQ(manifest.lineSignatures.size(), 1u);
}

TEST(ManifestParserLayout, BlockSignedKeepsTheBodyAndTheCertificateBlocks)
{
    const std::string body = entry("setup.exe", "12", kSha1) + "# comment\n";
    const std::string block = "-----BEGIN SIGNATURE-----\n"
                              "QUJD\n"
                              "REVG\0SElK\n"s
                              "\n"
                              "R0hJ\n"
                              "-----END SIGNATURE-----\n"
                              "-----BEGIN CERTIFICATE-----\n"
                              "U0lH\n"
                              "TkVS\n"
                              "-----END CERTIFICATE-----\n"
                              "-----BEGIN CERTIFICATE-----\n"
                              "SU5U\n"
                              "-----END CERTIFICATE-----\n";
    const SignedManifestText manifest = parseFile(body + block);

    EXPECT_EQ(manifest.text, body);
    EXPECT_EQ(std::string(manifest.body), body);
    expectViewsIntoText(manifest, body.size());
    EXPECT_TRUE(manifest.lineSignatures.empty());
    ASSERT_EQ(manifest.blockSignatures.size(), 1u);
    const ManifestSignature& signature = manifest.blockSignatures[0];
    EXPECT_EQ(signature.algorithm, HashAlgorithm::sha1);
    // Lines are joined without their LFs, and a NUL ends what is taken of its line.
    EXPECT_EQ(signature.signature, "QUJDREVGR0hJ");
    EXPECT_EQ(signature.signer, "-----BEGIN CERTIFICATE-----\nU0lH\nTkVS\n-----END CERTIFICATE-----\n");
    EXPECT_EQ(signature.chain, std::vector<std::string>{"-----BEGIN CERTIFICATE-----\nSU5U\n-----END CERTIFICATE-----\n"});
}

TEST(ManifestParserLayout, SignatureLinesBeforeABlockAreKeptButTheBlockIsNot)
{
    const std::string body = entry("a", "1", kSha1);
    const std::string lines = "#sig sha384 TElORQ==\n#... cert TA==\n# note\n";
    const SignedManifestText manifest = parseFile(body + lines +
                                                  "-----BEGIN SIGNATURE-----\nQkxPQ0s=\n-----END SIGNATURE-----\n" +
                                                  "-----BEGIN CERTIFICATE-----\nQg==\n-----END CERTIFICATE-----\n");
    EXPECT_EQ(manifest.text, body + lines);
    expectViewsIntoText(manifest, body.size());
    ASSERT_EQ(manifest.lineSignatures.size(), 1u);
    EXPECT_EQ(manifest.lineSignatures[0].signature, "TElORQ==");
    ASSERT_EQ(manifest.blockSignatures.size(), 1u);
    EXPECT_EQ(manifest.blockSignatures[0].signature, "QkxPQ0s=");
    EXPECT_EQ(manifest.blockSignatures[0].signer, "-----BEGIN CERTIFICATE-----\nQg==\n-----END CERTIFICATE-----\n");
}

TEST(ManifestParserLayout, LongestAllowedLineIsReadWhole)
{
    const std::string longLine = "#" + std::string(65534, 'x') + "\n";  // 65535 bytes before the LF
    const std::string file = entry("a", "1", kSha1) + longLine + entry("b", "2", kSha1);
    const SignedManifestText manifest = parseFile(file);
    EXPECT_EQ(manifest.text, file);
    EXPECT_EQ(manifest.body.size(), file.size());

    // The entry after the long line must start on a line of its own.
    std::vector<ManifestedFile> entries;
    ASSERT_TRUE(readBody(manifest.text, entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].relativePath, L"b");
}

TEST(ManifestParserLayout, NearMissMarkersStayInTheBody)
{
    const std::vector<std::string> markers = {
        "#sig sha384 QUFB \n",        "#sig sha384 QUFB\r\n",
        "#sig  sha384 QUFB\n",        "#sig sha384  QUFB\n",
        "#sig sha384 \n",             "#sig sha384\n",
        "#sig sha-384 QUFB\n",        "#sig sha384 QU$B\n",
        "#sigsha384 QUFB\n",          " #sig sha384 QUFB\n",
        "-----BEGIN SIGNATURE----- \n", "-----BEGIN SIGNATURE-----\r\n",
        "-----BEGIN SIGNATURE-\n",    "-----begin signature-----\n",
    };
    for (const std::string& marker : markers) {
        SCOPED_TRACE(marker);
        const std::string file = entry("a", "1", kSha1) + marker + "#... cert QQ==\n" + entry("b", "2", kSha1);
        const SignedManifestText manifest = parseFile(file);
        EXPECT_EQ(manifest.text, file);
        EXPECT_EQ(manifest.body.size(), file.size());
        EXPECT_TRUE(manifest.lineSignatures.empty());
        EXPECT_TRUE(manifest.blockSignatures.empty());
    }
}

TEST(ManifestParserLayout, CrLfLinesAreAllBodyAndUnreadableAsEntries)
{
    const std::string file = "\"a\" 1 " + kSha1 + "\r\n" +
                             "#sig sha384 QUFB\r\n"
                             "#... cert QQ==\r\n"
                             "-----BEGIN SIGNATURE-----\r\n"
                             "QkJC\r\n"
                             "-----END SIGNATURE-----\r\n"
                             "-----BEGIN CERTIFICATE-----\r\n"
                             "Qg==\r\n"
                             "-----END CERTIFICATE-----\r\n";
    const SignedManifestText manifest = parseFile(file);
    EXPECT_EQ(manifest.text, file);
    EXPECT_EQ(manifest.body.size(), file.size());
    EXPECT_TRUE(manifest.lineSignatures.empty());
    EXPECT_TRUE(manifest.blockSignatures.empty());

    std::vector<ManifestedFile> entries(1);
    entries[0].relativePath = L"before";
    EXPECT_FALSE(readBody(manifest.text, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].relativePath, L"before");
}

// --- Which signatures come out ---

struct FoundSignature {
    std::uint32_t algorithm;
    std::string signature;
    std::string signer;
};

struct SignatureCase {
    const char* name;
    std::string afterBody;
    std::vector<FoundSignature> line;
    std::vector<FoundSignature> block;
};

void expectSignatures(const std::vector<ManifestSignature>& actual, const std::vector<FoundSignature>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(actual[i].algorithm, expected[i].algorithm);
        EXPECT_EQ(actual[i].signature, expected[i].signature);
        EXPECT_EQ(actual[i].signer, expected[i].signer);
    }
}

TEST(ManifestParserSignatures, OnlyCompleteSignaturesWithKnownNamesAreListed)
{
    const std::string blockCertificate = "-----BEGIN CERTIFICATE-----\nQg==\n-----END CERTIFICATE-----\n";
    const std::vector<SignatureCase> cases = {
        {"sha256 and sha384 lines",
         "#sig sha256 MjU2\n#... cert QQ==\n#sig sha384 Mzg0\n#... cert Qg==\n",
         {{HashAlgorithm::sha256, "MjU2", pem("QQ==")}, {HashAlgorithm::sha384, "Mzg0", pem("Qg==")}},
         {}},
        {"md5 and sha1 lines",
         "#sig md5 TUQ1\n#... cert QQ==\n#sig sha1 U0hBMQ==\n#... cert Qg==\n",
         {{HashAlgorithm::md5, "TUQ1", pem("QQ==")}, {HashAlgorithm::sha1, "U0hBMQ==", pem("Qg==")}},
         {}},
        {"unknown name", "#sig sha512 NTEy\n#... cert QQ==\n", {}, {}},
        {"upper-case name", "#sig SHA384 Mzg0\n#... cert QQ==\n", {}, {}},
        // The unknown line must not leave its certificates to the signature above it.
        {"unknown name after a line without certificates",
         "#sig sha384 Mzg0\n#sig sha512 NTEy\n#... cert QQ==\n",
         {},
         {}},
        {"unknown name after a complete one",
         "#sig sha384 Mzg0\n#... cert QQ==\n#sig sha512 NTEy\n#... cert Qg==\n",
         {{HashAlgorithm::sha384, "Mzg0", pem("QQ==")}},
         {}},
        {"line without certificate", "#sig sha384 Mzg0\n", {}, {}},
        {"line without certificate, then a complete one",
         "#sig sha256 MjU2\n#sig sha384 Mzg0\n#... cert QQ==\n",
         {{HashAlgorithm::sha384, "Mzg0", pem("QQ==")}},
         {}},
        {"certificate line of another kind", "#sig sha384 Mzg0\n#... key QQ==\n", {}, {}},
        {"certificate line with a trailing space", "#sig sha384 Mzg0\n#... cert QQ== \n", {}, {}},
        {"lines and a block",
         "#sig sha384 Mzg0\n#... cert QQ==\n"
         "-----BEGIN SIGNATURE-----\nU0hBMQ==\n-----END SIGNATURE-----\n" +
             blockCertificate,
         {{HashAlgorithm::sha384, "Mzg0", pem("QQ==")}},
         {{HashAlgorithm::sha1, "U0hBMQ==", blockCertificate}}},
        {"block without END",
         "-----BEGIN SIGNATURE-----\nU0hBMQ==\n" + blockCertificate,
         {},
         {}},
        {"block without certificate", "-----BEGIN SIGNATURE-----\nU0hBMQ==\n-----END SIGNATURE-----\n", {}, {}},
        {"block with an unclosed certificate",
         "-----BEGIN SIGNATURE-----\nU0hBMQ==\n-----END SIGNATURE-----\n-----BEGIN CERTIFICATE-----\nQg==\n",
         {},
         {}},
        {"empty block", "-----BEGIN SIGNATURE-----\n-----END SIGNATURE-----\n" + blockCertificate, {}, {}},
    };
    for (const SignatureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SignedManifestText manifest = parseFile(entry("a", "1", kSha1) + c.afterBody);
        {
            SCOPED_TRACE("line signatures");
            expectSignatures(manifest.lineSignatures, c.line);
        }
        {
            SCOPED_TRACE("block signatures");
            expectSignatures(manifest.blockSignatures, c.block);
        }
    }
}

// --- Errors ---

struct ErrorCase {
    const char* name;
    std::string file;
    Outcome::Kind kind;
    std::string what;
};

TEST(ManifestParserErrors, BadFilesAreRefusedWithTheirReason)
{
    const std::string body = entry("a", "1", kSha1);
    const std::string signatureLines = "#sig sha384 Mzg0\n#... cert QQ==\n";
    const std::string blockSignature = "-----BEGIN SIGNATURE-----\nU0hBMQ==\n-----END SIGNATURE-----\n";
    const std::string blockCertificate = "-----BEGIN CERTIFICATE-----\nQg==\n-----END CERTIFICATE-----\n";
    const std::string block = blockSignature + blockCertificate;
    const std::string missingBody = "Manifest file missing body";
    const std::string parseError = "Manifest file parse error";
    const std::vector<ErrorCase> cases = {
        {"empty file", "", Outcome::runtimeError, missingBody},
        {"signature block first", block, Outcome::runtimeError, missingBody},
        {"line too long", body + "#" + std::string(65535, 'x') + "\n", Outcome::streamFailure, kStreamFailure},
        {"line too long without LF", body + std::string(70000, 'x'), Outcome::streamFailure, kStreamFailure},
        {"last body line without LF", "\"a\" 1 " + kSha1, Outcome::streamFailure, kStreamFailure},
        {"last comment without LF", body + "# end", Outcome::streamFailure, kStreamFailure},
        {"last signature line without LF", body + "#sig sha384 Mzg0\n#... cert QQ==", Outcome::streamFailure,
         kStreamFailure},
        {"last certificate block line without LF", body + block.substr(0, block.size() - 1),
         Outcome::streamFailure, kStreamFailure},
        {"only an LF-less line", "x", Outcome::streamFailure, kStreamFailure},
        // Nothing after the first signature line is signed, so content there must not slip in.
        {"entry after the signature lines", body + signatureLines + entry("evil.dll", "5", kSha1),
         Outcome::runtimeError, parseError},
        {"entry right after the signature line", body + "#sig sha384 Mzg0\n" + entry("evil.dll", "5", kSha1) +
                                                      "#... cert QQ==\n",
         Outcome::runtimeError, parseError},
        {"empty line after the signature lines", body + signatureLines + "\n", Outcome::runtimeError, parseError},
        {"certificate block after the signature lines",
         body + signatureLines + "-----BEGIN CERTIFICATE-----\nQg==\n-----END CERTIFICATE-----\n",
         Outcome::runtimeError, parseError},
        {"entry after signature lines and before a block",
         body + signatureLines + entry("evil.dll", "5", kSha1) + block, Outcome::runtimeError, parseError},
        // A digest line there would be as unsigned as an entry.
        {"digest line after the signature lines", body + signatureLines + "#sha256 " + kSha256 + "\n",
         Outcome::runtimeError, parseError},
        {"digest line between a signature line and its certificate",
         body + "#sig sha384 Mzg0\n#sha384 " + kSha384 + "\n#... cert QQ==\n", Outcome::runtimeError, parseError},
        // Only certificate blocks may follow a signature block.
        {"text between the signature block and its certificates",
         body + blockSignature + "stray\n" + blockCertificate, Outcome::runtimeError, parseError},
        {"entry between the signature block and its certificates",
         body + blockSignature + entry("evil.dll", "5", kSha1) + blockCertificate, Outcome::runtimeError, parseError},
        {"comment between the certificate blocks",
         body + blockSignature + blockCertificate + "# between\n" + blockCertificate, Outcome::runtimeError,
         parseError},
        {"text after the last block", body + block + "trailing\n", Outcome::runtimeError, parseError},
        {"comment after the last block", body + block + "# trailing\n", Outcome::runtimeError, parseError},
        {"digest line after the last block", body + block + "#sha256 " + kSha256 + "\n", Outcome::runtimeError,
         parseError},
        {"entry after the last block", body + block + entry("evil.dll", "5", kSha1), Outcome::runtimeError,
         parseError},
        {"empty line after the last block", body + block + "\n", Outcome::runtimeError, parseError},
        {"signature lines after the block", body + block + signatureLines, Outcome::runtimeError, parseError},
        {"second signature block", body + block + block, Outcome::runtimeError, parseError},
        {"text after the block of a line-signed manifest", body + signatureLines + block + "trailing\n",
         Outcome::runtimeError, parseError},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = parseOutcome(c.file);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.what, c.what);
    }
}

// --- Entries ---

TEST(ManifestParserEntries, ReadsEntriesAndTheirDigests)
{
    const std::string other256(64, 'e');
    const std::string body = "#sha384 " + std::string(96, 'e') + "\n" +  // no entry above it yet
                             entry("bin/setup.exe", "1024", kSha1) +
                             "#sha256 " + kSha256 + "\n" +
                             entry("data\\fr\\strings file.txt", "0", kSha1) +
                             "# a comment between entry and digests\n"
                             "#sha384 " + kSha384 + "\n" +
                             "#sha256 " + kSha256 + "\n" +
                             entry("", "4294967295", "") +
                             "#sha384 " + std::string(96, '0') + "\n" +
                             "#sha384 " + kSha384 + "\n" +  // the later one replaces the earlier
                             entry("~!@#$%^&()_+`-=[]{};',.", "007", kSha1) +
                             "#sha256 " + kSha256.substr(0, 63) + "\n" +
                             "#sha256 " + std::string(64, 'A') + "\n" +
                             "#sha256 " + other256 + " \n" +
                             "#sha384 " + kSha384 + "\t\n" +
                             "#sha512 " + kSha384 + "\n" +
                             "#sha256" + kSha256 + "\n" +
                             "#sha256  " + kSha256 + "\n";

    std::vector<ManifestedFile> entries(3);
    ASSERT_TRUE(readBody(body, entries));
    ASSERT_EQ(entries.size(), 4u);

    EXPECT_EQ(entries[0].relativePath, L"bin/setup.exe");
    EXPECT_EQ(entries[0].size, 1024u);
    EXPECT_EQ(entries[0].sha1, kSha1);
    EXPECT_EQ(entries[0].sha256, kSha256);
    EXPECT_EQ(entries[0].sha384, "");
    EXPECT_EQ(entries[0].digestMask, HashAlgorithm::sha1 | HashAlgorithm::sha256);
    EXPECT_TRUE(entries[0].fullPath.empty());

    EXPECT_EQ(entries[1].relativePath, L"data\\fr\\strings file.txt");
    EXPECT_EQ(entries[1].size, 0u);
    EXPECT_EQ(entries[1].sha256, kSha256);
    EXPECT_EQ(entries[1].sha384, kSha384);
    EXPECT_EQ(entries[1].digestMask, HashAlgorithm::sha1 | HashAlgorithm::sha256 | HashAlgorithm::sha384);

    EXPECT_EQ(entries[2].relativePath, L"");
    EXPECT_EQ(entries[2].size, 4294967295u);
    EXPECT_EQ(entries[2].sha1, "");
    EXPECT_EQ(entries[2].sha256, "");
    EXPECT_EQ(entries[2].sha384, kSha384);
    EXPECT_EQ(entries[2].digestMask, HashAlgorithm::sha1 | HashAlgorithm::sha384);

    // None of the near-miss digest lines after the last entry may count.
    EXPECT_EQ(entries[3].relativePath, L"~!@#$%^&()_+`-=[]{};',.");
    EXPECT_EQ(entries[3].size, 7u);
    EXPECT_EQ(entries[3].sha256, "");
    EXPECT_EQ(entries[3].sha384, "");
    EXPECT_EQ(entries[3].digestMask, HashAlgorithm::sha1);
}

TEST(ManifestParserEntries, CleanBodyWithoutEntriesGivesNone)
{
    for (const std::string& body : {""s, "# only a comment\n"s, "#sha256 "s + kSha256 + "\n"}) {
        SCOPED_TRACE(body);
        std::vector<ManifestedFile> entries(2);
        EXPECT_TRUE(readBody(body, entries));
        EXPECT_TRUE(entries.empty());
    }
}

TEST(ManifestParserEntries, MalformedLinesFailAndLeaveEntriesUnchanged)
{
    struct Case {
        const char* name;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"size over 32 bits", "\"a\" 4294967296 " + kSha1 + "\n"},
        {"size far over 64 bits", "\"a\" 99999999999999999999999 " + kSha1 + "\n"},
        {"size with plus sign", "\"a\" +1 " + kSha1 + "\n"},
        {"size with minus sign", "\"a\" -1 " + kSha1 + "\n"},
        {"size missing", "\"a\"  " + kSha1 + "\n"},
        {"size in hexadecimal", "\"a\" 0x10 " + kSha1 + "\n"},
        {"no space after the path", "\"a\"1 " + kSha1 + "\n"},
        {"two spaces after the path", "\"a\"  1 " + kSha1 + "\n"},
        {"no space before the SHA-1", "\"a\" 1" + kSha1 + "\n"},
        {"tab before the SHA-1", "\"a\" 1\t" + kSha1 + "\n"},
        {"upper-case SHA-1", "\"a\" 1 A9993E364706816ABA3E25717850C26C9CD0D89D\n"},
        {"space after the SHA-1", "\"a\" 1 " + kSha1 + " \n"},
        {"CR before the LF", "\"a\" 1 " + kSha1 + "\r\n"},
        {"no LF at the end", "\"a\" 1 " + kSha1},
        {"no closing quote", "\"a 1 " + kSha1 + "\n"},
        {"quote inside the path", "\"a\"b\" 1 " + kSha1 + "\n"},
        {"asterisk in the path", "\"a*\" 1 " + kSha1 + "\n"},
        {"colon in the path", "\"c:a\" 1 " + kSha1 + "\n"},
        {"less-than in the path", "\"a<\" 1 " + kSha1 + "\n"},
        {"greater-than in the path", "\"a>\" 1 " + kSha1 + "\n"},
        {"question mark in the path", "\"a?\" 1 " + kSha1 + "\n"},
        {"vertical bar in the path", "\"a|\" 1 " + kSha1 + "\n"},
        {"tab in the path", "\"a\tb\" 1 " + kSha1 + "\n"},
        {"NUL in the path", "\"a\0b\" 1 "s + kSha1 + "\n"},
        {"DEL in the path", "\"a\x7F\" 1 " + kSha1 + "\n"},
        {"UTF-8 in the path", "\"caf\xC3\xA9\" 1 " + kSha1 + "\n"},
        {"byte 0xFF in the path", "\"a\xFF\" 1 " + kSha1 + "\n"},
        {"line beginning with a letter", "x\n"},
        {"empty line", "\n"},
        {"line beginning with a space", " \"a\" 1 " + kSha1 + "\n"},
        {"line beginning with a NUL", "\0\n"s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The good lines around the bad one show that nothing of a failed read is handed over.
        const std::string body = entry("good", "1", kSha1) + "#sha256 " + kSha256 + "\n" + c.line +
                                 entry("after", "2", kSha1);
        std::vector<ManifestedFile> entries(1);
        entries[0].relativePath = L"before";
        EXPECT_FALSE(readBody(body, entries));
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].relativePath, L"before");
        EXPECT_EQ(entries[0].sha256, "");
    }
}

// --- Copies ---

TEST(ManifestParserCopies, CopiesPointIntoTheirOwnText)
{
    const std::string body = entry("setup.exe", "1", kSha1) + entry("data.pak", "2", kSha1);
    const std::string file = body + "#sig sha384 Mzg0\n#... cert QQ==\n#... cert Qg==\n";

    std::unique_ptr<SignedManifestText> original = std::make_unique<SignedManifestText>(parseFile(file));
    const SignedManifestText copied(*original);
    SignedManifestText assigned = parseFile("# something else, long enough to need its own buffer\n");
    assigned = *original;
    original.reset();  // a view left pointing at the original would now dangle

    for (const SignedManifestText* manifest : {&copied, static_cast<const SignedManifestText*>(&assigned)}) {
        SCOPED_TRACE(manifest == &copied ? "copy constructor" : "assignment");
        EXPECT_EQ(manifest->text, file);
        expectViewsIntoText(*manifest, body.size());
        EXPECT_EQ(std::string(manifest->allText), file);
        EXPECT_EQ(std::string(manifest->body), body);
        ASSERT_EQ(manifest->lineSignatures.size(), 1u);
        EXPECT_EQ(manifest->lineSignatures[0].chain, std::vector<std::string>{pem("Qg==")});
    }
    EXPECT_NE(copied.text.data(), assigned.text.data());

    // Assigning an object to itself must keep its views valid.
    SignedManifestText& alias = assigned;
    assigned = alias;
    expectViewsIntoText(assigned, body.size());
    EXPECT_EQ(std::string(assigned.body), body);
}

}  // namespace
}  // namespace Setup
