#include <windows.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PackageTrust/DigestProviders.h"
#include "PackageTrust/Digests.h"
#include "support/TempFolder.h"
#include "Utilities/Raii.h"

namespace Setup {
namespace {

using testing::HasSubstr;

struct Vector {
    std::uint32_t algorithm;
    std::string input;
    std::string expected;
};

void PrintTo(const Vector& vector, std::ostream* out)
{
    *out << "algorithm " << vector.algorithm << " of \"" << vector.input << '"';
}

class DigestVectors : public testing::TestWithParam<Vector> {};

TEST_P(DigestVectors, MatchTheStandardValues)
{
    const Vector& vector = GetParam();
    MultiHasher hasher(vector.algorithm);
    hasher.update(vector.input.data(), vector.input.size());
    EXPECT_EQ(hasher.hexDigest(vector.algorithm), vector.expected);
    EXPECT_EQ(hasher.total(), vector.input.size());
}

INSTANTIATE_TEST_SUITE_P(
    Known, DigestVectors,
    testing::Values(
        Vector{HashAlgorithm::md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        Vector{HashAlgorithm::sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        Vector{HashAlgorithm::sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        Vector{HashAlgorithm::sha384, "abc",
               "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
        Vector{HashAlgorithm::sha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        Vector{HashAlgorithm::sha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        Vector{HashAlgorithm::sha384, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "3391fdddfc8dc7393707a65b1b4709397cf8b1d162af05abfe8f450de5f36bc6b0455a8520bc4e6f5fe95b1fe3c8452b"}));

TEST(MultiHasher, FeedsEveryEnabledAlgorithmFromOnePass)
{
    MultiHasher hasher(HashAlgorithm::md5 | HashAlgorithm::sha1 | HashAlgorithm::sha256 | HashAlgorithm::sha384);
    hasher.update("a", 1);
    hasher.update("bc", 2);
    EXPECT_EQ(hasher.total(), 3u);
    EXPECT_EQ(hasher.hexDigest(HashAlgorithm::md5), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(hasher.hexDigest(HashAlgorithm::sha1), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hasher.digest(HashAlgorithm::sha256).size(), 32u);
    EXPECT_EQ(hasher.digest(HashAlgorithm::sha384).size(), 48u);
}

FileHandleGuard OpenToRead(const std::filesystem::path& path)
{
    return FileHandleGuard(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

TEST(MultiHasher, ReadsAFileFromItsCurrentPositionInManyChunks)
{
    test::TempFolder folder;
    const auto path = folder / L"million.bin";
    {
        std::ofstream out(path, std::ios::binary);
        out << "xyz" << std::string(1000000, 'a');
    }
    FileHandleGuard file = OpenToRead(path);
    ASSERT_TRUE(file);
    ASSERT_NE(SetFilePointer(file.get(), 3, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);

    MultiHasher hasher(HashAlgorithm::sha1 | HashAlgorithm::sha256);
    hasher.updateFromFile(file.get());
    EXPECT_EQ(hasher.total(), 1000000u);
    EXPECT_EQ(hasher.hexDigest(HashAlgorithm::sha1), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(hasher.hexDigest(HashAlgorithm::sha256),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(MultiHasher, AnEmptyFileGivesTheDigestsOfNoBytes)
{
    test::TempFolder folder;
    const auto path = folder / L"empty.bin";
    std::ofstream(path, std::ios::binary).close();
    FileHandleGuard file = OpenToRead(path);
    ASSERT_TRUE(file);
    MultiHasher hasher(HashAlgorithm::md5 | HashAlgorithm::sha384);
    hasher.updateFromFile(file.get());
    EXPECT_EQ(hasher.total(), 0u);
    EXPECT_EQ(hasher.hexDigest(HashAlgorithm::md5), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(hasher.hexDigest(HashAlgorithm::sha384),
              "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b");
}

TEST(MultiHasher, ARejectedReadEndsTheFeedWithoutAnError)
{
    MultiHasher hasher(HashAlgorithm::sha1);
    hasher.updateFromFile(INVALID_HANDLE_VALUE);
    EXPECT_EQ(hasher.total(), 0u);
}

TEST(MultiHasher, RefusesAlgorithmsItWasNotAskedForOrDoesNotKnow)
{
    MultiHasher hasher(HashAlgorithm::sha1);
    EXPECT_TRUE(hasher.isEnabled(HashAlgorithm::sha1));
    EXPECT_FALSE(hasher.isEnabled(HashAlgorithm::sha384));

    for (const std::uint32_t unknown : {0u, 3u, 16u}) {
        try {
            hasher.isEnabled(unknown);
            ADD_FAILURE() << unknown;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), "unknown algorithm: " + std::to_string(unknown));
        }
        EXPECT_THROW(hasher.digest(unknown), std::invalid_argument);
    }
    try {
        hasher.hexDigest(HashAlgorithm::sha256);
        ADD_FAILURE();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "invalid algorithm: not enabled in constructor");
    }
}

// One provider of each type serves every hasher of a package check; each hasher made after
// others have gone must still find the providers working.
TEST(MultiHasher, HashersSharingProvidersGiveTheDigestsOfHashersWithTheirOwn)
{
    const std::uint32_t all = HashAlgorithm::md5 | HashAlgorithm::sha1 | HashAlgorithm::sha256 | HashAlgorithm::sha384;
    DigestProviders providers;
    for (const std::string& input : {std::string(), std::string("abc"), std::string(100000, 'z'),
                                     std::string("\0\xff\x80", 3)}) {
        SCOPED_TRACE(input.size());
        MultiHasher shared(all, providers);
        MultiHasher own(all);
        shared.update(input.data(), input.size());
        own.update(input.data(), input.size());
        for (const std::uint32_t algorithm : {HashAlgorithm::md5, HashAlgorithm::sha1, HashAlgorithm::sha256,
                                              HashAlgorithm::sha384}) {
            EXPECT_EQ(shared.hexDigest(algorithm), own.hexDigest(algorithm)) << algorithm;
        }
        EXPECT_EQ(shared.provider(HashAlgorithm::md5), providers.get(PROV_RSA_FULL));
        EXPECT_EQ(shared.provider(HashAlgorithm::sha1), providers.get(PROV_RSA_FULL));
        EXPECT_EQ(shared.provider(HashAlgorithm::sha256), providers.get(PROV_RSA_AES));
        EXPECT_EQ(shared.provider(HashAlgorithm::sha384), providers.get(PROV_RSA_AES));
    }
    EXPECT_THROW(providers.get(PROV_DSS), std::invalid_argument);
}

TEST(MultiHasher, HexIsLowercaseHighNibbleFirst)
{
    EXPECT_EQ(toHex(std::string("\x00\x0f\xa0\xff", 4)), "000fa0ff");
}

}  // namespace
}  // namespace Setup
