#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "PackageTrust/ArchiveExtraction.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "Utilities/FatalError.h"

namespace {

namespace fs = std::filesystem;
using ::testing::StartsWith;

fs::path FixturePath(const std::string& name)
{
    return fs::path(test::FromBuildPath(HALVEX_ARCHIVE_FIXTURES)) / name;
}

void Extract(const fs::path& target, const std::string& fixture, const std::function<void()>& callback = [] {})
{
    const std::string archive = test::ReadFile(FixturePath(fixture));
    Setup::extractTarGzArchive(target, reinterpret_cast<const std::uint8_t*>(archive.data()),
                               static_cast<std::uint32_t>(archive.size()), callback);
}

// Every file (with its content) and folder (with a trailing "/") under root, by relative path.
std::map<std::string, std::string> Tree(const fs::path& root)
{
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = entry.path().lexically_relative(root).generic_string();
        if (entry.is_directory())
            tree[relative + "/"] = "";
        else
            tree[relative] = test::ReadFile(entry.path());
    }
    return tree;
}

std::vector<fs::path> Files(const fs::path& root)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    return files;
}

DWORD OpenForWritingError(const fs::path& file)
{
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(handle);
    return ERROR_SUCCESS;
}

struct GoodArchive {
    const char* fixture;
    const char* expected;
};

void PrintTo(const GoodArchive& archive, std::ostream* out) { *out << archive.fixture; }

class GoodArchives : public ::testing::TestWithParam<GoodArchive> {};

TEST_P(GoodArchives, ExtractByteExactWithoutEmptyFolders)
{
    test::TempFolder temp;
    const fs::path target = temp / L"work" / L"extract_cache";
    int calls = 0;
    Extract(target, GetParam().fixture, [&] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Tree(target), Tree(FixturePath("expected") / GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(ArchiveExtraction, GoodArchives,
                         ::testing::Values(GoodArchive{"nested.tar.gz", "nested"},
                                           GoodArchive{"nested_zlib.tar.z", "nested_zlib"},
                                           GoodArchive{"sizes.tar.gz", "sizes"},
                                           GoodArchive{"longname.tar.gz", "longname"},
                                           GoodArchive{"othertypes.tar.gz", "othertypes"},
                                           GoodArchive{"exact_end.tar.gz", "exact_end"}),
                         [](const auto& info) { return std::string(info.param.expected); });

TEST(ArchiveExtraction, OverwritesAnExistingFile)
{
    test::TempFolder temp;
    const fs::path target = temp / L"extract_cache";
    fs::create_directories(target);
    {
        std::FILE* stale = _wfopen((target / L"multi.bin").c_str(), L"wb");
        ASSERT_NE(stale, nullptr);
        const std::string longer(9000, 'q');
        std::fwrite(longer.data(), 1, longer.size(), stale);
        std::fclose(stale);
    }
    Extract(target, "sizes.tar.gz");
    EXPECT_EQ(Tree(target), Tree(FixturePath("expected") / "sizes"));
}

// Nothing can change or remove an extracted file between its extraction and its verification.
TEST(ArchiveExtraction, HoldsEveryFileReadOnlyUntilTheCallbackReturns)
{
    test::TempFolder temp;
    const fs::path target = temp / L"extract_cache";
    const auto expected = Tree(FixturePath("expected") / "nested");
    Extract(target, "nested.tar.gz", [&] {
        const auto files = Files(target);
        ASSERT_EQ(files.size(), 3u);
        for (const auto& file : files) {
            SCOPED_TRACE(file.string());
            EXPECT_EQ(OpenForWritingError(file), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_FALSE(DeleteFileW(file.c_str()));
            EXPECT_EQ(test::ReadFile(file), expected.at(file.lexically_relative(target).generic_string()));
        }
    });
    for (const auto& file : Files(target)) {
        EXPECT_EQ(OpenForWritingError(file), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_TRUE(DeleteFileW(file.c_str()));
    }
}

TEST(ArchiveExtraction, CallbackExceptionPassesThroughWithEveryFileClosed)
{
    test::TempFolder temp;
    const fs::path target = temp / L"extract_cache";
    EXPECT_THROW(Extract(target, "sizes.tar.gz", [] { throw std::logic_error("from the callback"); }),
                 std::logic_error);
    const auto files = Files(target);
    EXPECT_EQ(files.size(), 5u);
    for (const auto& file : files)
        EXPECT_TRUE(DeleteFileW(file.c_str())) << file.string();
}

struct BadArchive {
    const char* fixture;
    const char* message;
};

void PrintTo(const BadArchive& archive, std::ostream* out) { *out << archive.fixture; }

class BadArchives : public ::testing::TestWithParam<BadArchive> {};

// Refused as an extraction failure, without the callback and without a trace outside the target.
TEST_P(BadArchives, FailWithExtractFailureAndWriteNothingOutside)
{
    test::TempFolder temp;
    const fs::path target = temp / L"work" / L"extract_cache";
    bool called = false;
    try {
        Extract(target, GetParam().fixture, [&] { called = true; });
        ADD_FAILURE() << "no exception";
    } catch (const Setup::FatalError& e) {
        EXPECT_EQ(e.Code(), Setup::FatalError::ExtractFailure);
        EXPECT_STREQ(e.what(), GetParam().message);
    }
    EXPECT_FALSE(called);
    for (const auto& [path, content] : Tree(temp.Path())) {
        if (path != "work/") {
            EXPECT_THAT(path, StartsWith("work/extract_cache/")) << "written outside the target";
        }
    }
    for (const wchar_t* outside : {L"C:\\halvex_abs_evil", L"C:\\halvex_drive_evil", L"C:\\halvex_backslash_evil"})
        EXPECT_FALSE(fs::exists(outside)) << fs::path(outside).string();
    EXPECT_FALSE(fs::exists(fs::current_path() / L"halvex_driverel_evil"));
}

INSTANTIATE_TEST_SUITE_P(
    ArchiveExtraction, BadArchives,
    ::testing::Values(BadArchive{"hostile_dotdot.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_abs.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_drive.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_drive_relative.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_unc.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_backslash_root.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_climb.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_backslash_climb.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_dots.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_long.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_dir.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_device.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_device_bare.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_device_folder.tar.gz", "unsafe entry name"},
                      BadArchive{"hostile_device_trailing.tar.gz", "unsafe entry name"},
                      BadArchive{"longname_oversized.tar.gz", "failed to read long filename"},
                      BadArchive{"longname_huge_size.tar.gz", "failed to read long filename"},
                      BadArchive{"longname_then_end.tar.gz", "Missing file after long filename"},
                      BadArchive{"truncated_in_data.tar.gz", "Extraction failure"},
                      BadArchive{"truncated_in_header.tar.gz", "Extraction failure"},
                      BadArchive{"tar_cut_in_data.tar.gz", "Extraction failure"},
                      BadArchive{"no_end_blocks.tar.gz", "Extraction failure"},
                      BadArchive{"one_end_block.tar.gz", "Extraction failure"},
                      BadArchive{"ends_after_header.tar.gz", "Extraction failure"},
                      BadArchive{"corrupt_deflate.tar.gz", "Extraction failure"},
                      BadArchive{"corrupt_crc.tar.gz", "Extraction failure"},
                      BadArchive{"not_compressed.tar", "Extraction failure"},
                      BadArchive{"empty.bin", "Extraction failure"},
                      BadArchive{"size_not_octal.tar.gz", "invalid entry size"},
                      BadArchive{"size_base256.tar.gz", "invalid entry size"},
                      BadArchive{"size_too_large.tar.gz", "entry size too large"}),
    [](const auto& info) { return fs::path(info.param.fixture).stem().stem().string(); });

// A stream that ends mid-block must not leave the previous block's bytes in the file.
TEST(ArchiveExtraction, FileSystemFailuresAreExtractionFailures)
{
    // A target folder that cannot be made: one of its parents is a file.
    test::TempFolder temp;
    { std::ofstream(temp / L"file") << "x"; }
    bool called = false;
    try {
        Extract(temp / L"file" / L"extract_cache", "nested.tar.gz", [&] { called = true; });
        FAIL() << "no exception";
    } catch (const Setup::FatalError& e) {
        EXPECT_EQ(e.Code(), Setup::FatalError::ExtractFailure) << e.what();
    }
    EXPECT_FALSE(called);
}

TEST(ArchiveExtraction, TruncatedStreamLeavesOnlyAPrefixOfTheFile)
{
    const std::string original = test::ReadFile(FixturePath("expected") / "truncated" / "big.bin");
    for (const char* fixture : {"truncated_in_data.tar.gz", "tar_cut_in_data.tar.gz"}) {
        SCOPED_TRACE(fixture);
        test::TempFolder temp;
        EXPECT_THROW(Extract(temp.Path(), fixture), Setup::FatalError);
        const std::string written = test::ReadFile(temp / L"big.bin");
        EXPECT_LT(written.size(), original.size());
        EXPECT_EQ(written, original.substr(0, written.size()));
        EXPECT_EQ(written.size() % Setup::kTarBlockSize, 0u);
    }
}

TEST(ArchiveExtraction, EntryNames)
{
    for (const char* safe : {"a", "a/b.txt", "./a", "a//b", "dir/", "a..b", "..a", "a/..b/c", "a/b..", "."}) {
        EXPECT_TRUE(Setup::IsSafeEntryName(safe)) << safe;
    }
    for (const char* unsafe : {"", "..", "../a", "a/..", "a/../b", "a\\..\\b", "/a", "\\a", "\\\\host\\share\\a",
                               "C:a", "C:/a", "a:stream", "a/.../b", "a/.. /b"}) {
        EXPECT_FALSE(Setup::IsSafeEntryName(unsafe)) << unsafe;
    }
}

TEST(ArchiveExtraction, EntryNamesThatWindowsOpensAsDevicesAreUnsafe)
{
    for (const char* device :
         {"CON", "con", "Prn", "aux", "NUL", "nul.txt", "NUL.tar.gz", "nul.", "nul ", "nul .txt", "nul...", "Com1",
          "com9.log", "COM0", "LPT1", "lpt9 . ", "COM\xC2\xB9", "lpt\xC2\xB3.txt", "CONIN$", "conout$.x",
          "dir/aux.tar.gz", "aux/file.txt", "a\\con.d\\b", "a/b/PRN"}) {
        EXPECT_FALSE(Setup::IsSafeEntryName(device)) << device;
    }
    for (const char* file : {"console", "nul_", "nulx.txt", "a.nul", "com", "com10", "comx", "COM\xC2\xB4", "lpt",
                             "lpt1x.txt", "auxiliary.txt", "prn_/x", "a/x.aux", "conin"}) {
        EXPECT_TRUE(Setup::IsSafeEntryName(file)) << file;
    }
}

std::uint32_t SizeOf(const char* field, std::size_t length)
{
    std::uint8_t header[Setup::kTarBlockSize] = {};
    std::memcpy(header + 124, field, length);
    return Setup::parseTarOctalSize(header);
}

TEST(ArchiveExtraction, SizeField)
{
    EXPECT_EQ(SizeOf("00000001750\0", 12), 1000u);
    EXPECT_EQ(SizeOf("    1750 \0\0\0", 12), 1000u);
    EXPECT_EQ(SizeOf("\0\0\0\0\0\0\0\0\0\0\0\0", 12), 0u);
    EXPECT_EQ(SizeOf("37777777777\0", 12), 0xFFFFFFFFu);
    EXPECT_EQ(SizeOf("000000000017", 12), 1u);  // only 11 digits are read
    for (const char* bad : {"0000000009\0\0", "12 34\0\0\0\0\0\0\0", "-1\0\0\0\0\0\0\0\0\0\0", "0x10\0\0\0\0\0\0\0\0",
                            "\x80\0\0\0\0\0\0\0\0\0\0\x0b", "40000000000\0"}) {
        EXPECT_THROW(SizeOf(bad, 12), Setup::FatalError) << bad;
    }
}

TEST(ArchiveExtraction, DowngradeLeavesAReadHandleThatRefusesWriters)
{
    test::TempFolder temp;
    const fs::path file = temp / L"file";
    const HANDLE created = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    HandleGuard guard(created);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(guard.get(), "abc", 3, &written, nullptr));

    Setup::downgradeToReadOnlyHandle(guard);
    ASSERT_TRUE(guard);
    EXPECT_FALSE(WriteFile(guard.get(), "d", 1, &written, nullptr));
    char buffer[8] = {};
    DWORD read = 0;
    SetFilePointer(guard.get(), 0, nullptr, FILE_BEGIN);
    ASSERT_TRUE(ReadFile(guard.get(), buffer, sizeof(buffer), &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "abc");
    EXPECT_EQ(OpenForWritingError(file), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    guard.Reset();
    EXPECT_EQ(OpenForWritingError(file), static_cast<DWORD>(ERROR_SUCCESS));

    HandleGuard bogus(reinterpret_cast<HANDLE>(0x7ff0));
    try {
        Setup::downgradeToReadOnlyHandle(bogus);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), StartsWith("ReOpenFile failed (intermediate_handle): "));
    }
    (void)bogus.Detach();  // closing the bogus value would end the process
}

// Archives made here rather than by the fixture script, so that their sizes follow the write size.
using TarFiles = std::vector<std::pair<std::string, std::string>>;

// Regular files as the extraction reads them (name, size, type), then the two closing zero blocks.
std::string TarOf(const TarFiles& files)
{
    std::string tar;
    for (const auto& [name, content] : files) {
        std::string header(Setup::kTarBlockSize, '\0');
        header.replace(0, name.size(), name);
        char size[12];
        std::snprintf(size, sizeof(size), "%011o", static_cast<unsigned>(content.size()));
        header.replace(124, 11, size, 11);
        header[156] = '0';
        tar += header + content;
        tar.append((Setup::kTarBlockSize - content.size() % Setup::kTarBlockSize) % Setup::kTarBlockSize, '\0');
    }
    return tar + std::string(2 * Setup::kTarBlockSize, '\0');
}

std::string Compressed(const std::string& raw)
{
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    std::string out(length, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), Z_BEST_SPEED) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(length);
    return out;
}

std::string RandomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

void ExtractBytes(const fs::path& target, const std::string& archive, const std::function<void()>& callback,
                  const Setup::FileWriteFunction& writeFile)
{
    Setup::extractTarGzArchive(target, reinterpret_cast<const std::uint8_t*>(archive.data()),
                               static_cast<std::uint32_t>(archive.size()), callback, writeFile);
}

BOOL RealWrite(HANDLE file, const void* data, DWORD size, DWORD* written)
{
    return WriteFile(file, data, size, written, nullptr);
}

// A file's blocks are gathered into larger writes: sizes at and around that size, and a file
// after a large one, must still come out byte for byte.
TEST(ArchiveExtraction, FilesAroundTheWriteSizeComeOutByteIdentical)
{
    const std::uint32_t writeSize = Setup::kFileWriteSize;
    const TarFiles files = {{"edge/empty", ""},
                            {"edge/three.txt", "abc"},
                            {"edge/below.bin", RandomBytes(writeSize - 1, 1)},
                            {"edge/exact.bin", RandomBytes(writeSize, 2)},
                            {"edge/above.bin", RandomBytes(writeSize + 1, 3)},
                            {"edge/two_and_a_block.bin", RandomBytes(2 * writeSize + 513, 4)},
                            {"after.txt", "the next file starts with an empty buffer"}};
    test::TempFolder temp;
    ExtractBytes(temp.Path(), Compressed(TarOf(files)), [] {}, RealWrite);
    std::map<std::string, std::string> expected(files.begin(), files.end());
    expected["edge/"] = "";
    const auto tree = Tree(temp.Path());
    ASSERT_EQ(tree.size(), expected.size());
    for (const auto& [name, content] : expected) {
        ASSERT_EQ(tree.count(name), 1u) << name;
        // Compared as a whole, without printing megabytes on a failure.
        EXPECT_TRUE(tree.at(name) == content) << name << ": " << tree.at(name).size() << " bytes";
    }
}

struct FailingWrite {
    const char* name;
    int failingCall;  // counted over the whole extraction, from 1
    bool shortWrite;  // writes one byte less instead of failing
};

void PrintTo(const FailingWrite& write, std::ostream* out) { *out << write.name; }

class FailingWrites : public ::testing::TestWithParam<FailingWrite> {};

// The writes of big.bin are one full buffer, another, then the rest.
TEST_P(FailingWrites, FailTheExtractionBeforeTheCallback)
{
    const TarFiles files = {{"small.txt", "small"}, {"big.bin", RandomBytes(2 * Setup::kFileWriteSize + 700, 5)}};
    int calls = 0;
    const auto writer = [&](HANDLE file, const void* data, DWORD size, DWORD* written) {
        if (++calls != GetParam().failingCall)
            return RealWrite(file, data, size, written);
        if (!GetParam().shortWrite)
            return FALSE;
        return RealWrite(file, data, size - 1, written);
    };
    test::TempFolder temp;
    bool called = false;
    try {
        ExtractBytes(temp.Path(), Compressed(TarOf(files)), [&] { called = true; }, writer);
        ADD_FAILURE() << "no exception";
    } catch (const Setup::FatalError& e) {
        EXPECT_EQ(e.Code(), Setup::FatalError::ExtractFailure);
        EXPECT_STREQ(e.what(), "can't write to file");
    }
    EXPECT_FALSE(called);
    EXPECT_EQ(calls, GetParam().failingCall);
}

INSTANTIATE_TEST_SUITE_P(ArchiveExtraction, FailingWrites,
                         ::testing::Values(FailingWrite{"FirstFile", 1, false}, FailingWrite{"FullBuffer", 2, false},
                                           FailingWrite{"Rest", 4, false}, FailingWrite{"ShortFullBuffer", 3, true},
                                           FailingWrite{"ShortRest", 4, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A stream cut inside a file: every whole block inflated before the cut is in the file, not
// only the buffers already written.
TEST(ArchiveExtraction, ACutInsideABufferedFileLeavesEveryBlockBeforeTheCut)
{
    const std::string content = RandomBytes(3 * Setup::kFileWriteSize, 6);
    const std::string archive = Compressed(TarOf({{"big.bin", content}}));
    // Random bytes do not shrink, so the cut falls well past two buffers of data.
    const std::string cut = archive.substr(0, archive.size() * 85 / 100);
    test::TempFolder temp;
    EXPECT_THROW(ExtractBytes(temp.Path(), cut, [] {}, RealWrite), Setup::FatalError);
    const std::string written = test::ReadFile(temp / L"big.bin");
    EXPECT_GT(written.size(), 2 * Setup::kFileWriteSize);
    EXPECT_EQ(written.size() % Setup::kTarBlockSize, 0u);
    EXPECT_EQ(written, content.substr(0, written.size()));
}

// A write that fails before the stream breaks is the failure reported, as when every block was
// written as soon as it was inflated.
TEST(ArchiveExtraction, AFailedWriteBeforeACutIsTheFailureReported)
{
    const std::string archive = Compressed(TarOf({{"big.bin", RandomBytes(Setup::kFileWriteSize / 2, 7)}}));
    const std::string cut = archive.substr(0, archive.size() / 2);
    int calls = 0;
    test::TempFolder temp;
    try {
        ExtractBytes(temp.Path(), cut, [] {}, [&](HANDLE, const void*, DWORD, DWORD*) {
            ++calls;
            return FALSE;
        });
        ADD_FAILURE() << "no exception";
    } catch (const Setup::FatalError& e) {
        EXPECT_STREQ(e.what(), "can't write to file");
    }
    EXPECT_EQ(calls, 1);
}

}  // namespace
