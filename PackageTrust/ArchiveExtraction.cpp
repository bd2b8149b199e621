#include "PackageTrust/ArchiveExtraction.h"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include "halvlib/String.h"
#include "Utilities/FatalError.h"
#include "Utilities/LogStatement.h"

namespace Setup {

namespace {

constexpr std::size_t kNameOffset = 0;
constexpr std::size_t kNameWidth = 100;
constexpr std::size_t kSizeOffset = 124;
constexpr std::size_t kSizeDigits = 11;
constexpr std::size_t kTypeOffset = 156;
constexpr int kWindowBitsAutoHeader = 15 + 32;

void ReleaseInflateHandle(z_stream* stream)
{
    inflateEnd(stream);
}

using InflateGuard = StaticRaii<z_stream*, &ReleaseInflateHandle>;
using Block = std::array<std::uint8_t, kTarBlockSize>;

[[noreturn]] void Fail(const char* logged, const char* thrown)
{
    LOG_ERROR << logged;
    throw FatalError(thrown, FatalError::ExtractFailure);
}

// A block that the input ran out in the middle of counts as a failed step, so that the stale
// rest of the previous block is never taken for data. A whole block that arrives with the end
// of the stream is a good block: the next step reports the end (zlib repeats Z_STREAM_END).
int InflateBlock(z_stream& stream, Block& block)
{
    stream.next_out = block.data();
    stream.avail_out = kTarBlockSize;
    const int result = inflate(&stream, Z_SYNC_FLUSH);
    if (result == Z_OK && stream.avail_out != 0)
        return Z_BUF_ERROR;
    if (result == Z_STREAM_END && stream.avail_out == 0)
        return Z_OK;
    return result;
}

// A name field without a NUL uses all its 100 bytes, as the tar standard allows.
std::string NameField(const Block& header)
{
    const auto begin = header.begin() + kNameOffset;
    return std::string(begin, std::find(begin, begin + kNameWidth, std::uint8_t{0}));
}

// Windows drops trailing dots and spaces of a component, so "..." and ".. " climb like "..".
bool IsClimbingComponent(const std::string& component)
{
    return std::count(component.begin(), component.end(), '.') >= 2 &&
           component.find_first_not_of(". ") == std::string::npos;
}

// Windows opens a device instead of a file for these names in any folder, whatever extension
// follows, and it drops the spaces before the extension when it looks.
bool IsDeviceName(const std::string& component)
{
    std::string base = component.substr(0, component.find('.'));
    base.erase(base.find_last_not_of(' ') + 1);
    for (char& c : base) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (base == device)
            return true;
    }
    if (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)
        return false;
    const std::string number = base.substr(3);
    // The superscript digits one to three (UTF-8) count as digits here.
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

// All 512 bytes zero: two of these end an archive.
bool IsZeroBlock(const Block& block)
{
    return std::all_of(block.begin(), block.end(), [](std::uint8_t byte) { return byte == 0; });
}

}  // namespace

bool IsSafeEntryName(const std::string& name)
{
    if (name.empty() || name.front() == '/' || name.front() == '\\')
        return false;
    // Refuses drives ("C:x" is relative to the drive's current folder) and alternate streams.
    if (name.find(':') != std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
        const std::string component = name.substr(start, end - start);
        if (IsClimbingComponent(component) || IsDeviceName(component))
            return false;
        start = end + 1;
    }
    return true;
}

std::uint32_t parseTarOctalSize(const std::uint8_t* header)
{
    const std::uint8_t* field = header + kSizeOffset;
    std::size_t index = 0;
    while (index < kSizeDigits && field[index] == ' ')
        ++index;
    std::uint64_t total = 0;
    for (; index < kSizeDigits && field[index] != 0 && field[index] != ' '; ++index) {
        if (field[index] < '0' || field[index] > '7')
            Fail("Invalid entry size.", "invalid entry size");
        total = total * 8 + (field[index] - '0');
        if (total > std::numeric_limits<std::uint32_t>::max())
            Fail("Entry size too large.", "entry size too large");
    }
    // Whatever ends the digits must fill the rest of the field, or it was not one number.
    for (; index < kSizeDigits; ++index) {
        if (field[index] != 0 && field[index] != ' ')
            Fail("Invalid entry size.", "invalid entry size");
    }
    return static_cast<std::uint32_t>(total);
}

std::string readTarLongName(const std::uint8_t* header, z_stream_s& stream)
{
    const std::uint32_t size = parseTarOctalSize(header);
    // Bounded before anything is read: the size field alone must not decide how much is held.
    if (size == 0 || size > kMaxTarLongNameSize)
        return {};
    std::string name;
    Block block;
    for (std::uint32_t left = size; left > 0;) {
        if (InflateBlock(stream, block) != Z_OK)
            return {};
        const std::uint32_t count = std::min(left, kTarBlockSize);
        name.append(reinterpret_cast<const char*>(block.data()), count);
        left -= count;
    }
    return name;
}

void downgradeToReadOnlyHandle(HandleGuard& handleGuard)
{
    const HANDLE intermediate =
        ReOpenFile(handleGuard.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
    if (intermediate == INVALID_HANDLE_VALUE)
        throw std::runtime_error("ReOpenFile failed (intermediate_handle): " + std::to_string(GetLastError()));
    HandleGuard intermediateGuard(intermediate);
    // The write handle must be gone before a handle that refuses write sharing can be opened.
    handleGuard.Reset();
    const HANDLE readOnly = ReOpenFile(intermediate, GENERIC_READ, FILE_SHARE_READ, 0);
    if (readOnly == INVALID_HANDLE_VALUE)
        throw std::runtime_error("ReOpenFile failed (new_handle): " + std::to_string(GetLastError()));
    handleGuard = HandleGuard(readOnly);
}

namespace {

// A file's blocks are gathered into larger writes: a WriteFile call costs about the same
// whatever its size, so one per 512-byte block adds up.
class PendingWrites {
public:
    explicit PendingWrites(const FileWriteFunction& writeFile) : writeFile(writeFile), data(kFileWriteSize) {}

    void Append(HANDLE file, const std::uint8_t* bytes, std::uint32_t count)
    {
        if (count > kFileWriteSize - used)
            Flush(file);
        std::memcpy(data.data() + used, bytes, count);
        used += count;
    }

    void Flush(HANDLE file)
    {
        if (used == 0)
            return;
        DWORD written = 0;
        const DWORD count = used;
        used = 0;
        if (!writeFile(file, data.data(), count, &written) || written != count)
            Fail("Can't write to file.", "can't write to file");
    }

private:
    const FileWriteFunction& writeFile;
    std::vector<std::uint8_t> data;
    std::uint32_t used = 0;
};

// Unpacks every entry into targetFolder and keeps each file open read-only in heldFiles.
void ExtractEntries(const std::filesystem::path& targetFolder, z_stream& stream, std::vector<HandleGuard>& heldFiles,
                    const FileWriteFunction& writeFile)
{
    std::filesystem::create_directories(targetFolder);
    LOG_INFO << "Extracting files:";
    Block block;
    PendingWrites pending(writeFile);
    // The folder of the last file: the files of one folder usually follow one another, and asking
    // whether a folder exists costs about as much as creating a file.
    std::filesystem::path madeFolder;
    // Zero blocks met in a row; a stream that ends before two of them was cut short.
    int zeroBlocks = 0;

    for (;;) {
        const int result = InflateBlock(stream, block);
        if (result == Z_STREAM_END && zeroBlocks >= 2)
            break;
        if (result != Z_OK)
            Fail("Extraction failure.", "Extraction failure");

        std::string name;
        if (block[kTypeOffset] == 'L') {
            const std::string longName = readTarLongName(block.data(), stream);
            name = longName.substr(0, longName.find('\0'));
            if (name.empty())
                Fail("Failed to read long filename.", "failed to read long filename");
            if (InflateBlock(stream, block) != Z_OK)
                Fail("Missing file after long filename.", "Missing file after long filename");
        } else {
            name = NameField(block);
            if (name.empty()) {
                zeroBlocks = IsZeroBlock(block) ? zeroBlocks + 1 : 0;
                continue;
            }
        }
        zeroBlocks = 0;

        LOG_INFO << name;
        if (!IsSafeEntryName(name))
            Fail("Unsafe entry name.", "unsafe entry name");
        const std::uint32_t entrySize = parseTarOctalSize(block.data());

        HandleGuard file;
        if (block[kTypeOffset] == '0') {
            const std::filesystem::path path = targetFolder / halvlib::string::ToUtf16(name);
            if (path.parent_path() != madeFolder) {
                std::filesystem::create_directories(path.parent_path());
                madeFolder = path.parent_path();
            }
            const HANDLE created = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (created == INVALID_HANDLE_VALUE)
                Fail("Failed to open file.", "Failed to open file");
            file = HandleGuard(created);
        }

        for (std::uint32_t left = entrySize; left > 0;) {
            if (InflateBlock(stream, block) != Z_OK) {
                // The blocks before the failure reach the file first, and a write failure among
                // them is the one reported, as when each block was written at once.
                if (file)
                    pending.Flush(file.get());
                Fail("Extraction failure.", "Extraction failure");
            }
            const std::uint32_t count = std::min(left, kTarBlockSize);
            if (file)
                pending.Append(file.get(), block.data(), count);
            left -= count;
        }

        if (file) {
            // Before the switch to read-only, which ends writing.
            pending.Flush(file.get());
            downgradeToReadOnlyHandle(file);
            heldFiles.push_back(std::move(file));
        }
    }
}

}  // namespace

void extractTarGzArchive(const std::filesystem::path& targetFolder, const std::uint8_t* data, std::uint32_t size,
                         const std::function<void()>& callback)
{
    extractTarGzArchive(targetFolder, data, size, callback,
                        [](HANDLE file, const void* bytes, DWORD count, DWORD* written) {
                            return WriteFile(file, bytes, count, written, nullptr);
                        });
}

void extractTarGzArchive(const std::filesystem::path& targetFolder, const std::uint8_t* data, std::uint32_t size,
                         const std::function<void()>& callback, const FileWriteFunction& writeFile)
{
    z_stream stream{};
    stream.next_in = data;
    stream.avail_in = size;
    InflateGuard inflateGuard;
    // Declared after the stream's guard, so every file is closed before the stream ends.
    std::vector<HandleGuard> heldFiles;
    // Whatever goes wrong with the archive (folders, names, reopening) is an extraction failure;
    // the callback's own failures keep their kind.
    try {
        if (inflateInit2(&stream, kWindowBitsAutoHeader) != Z_OK)
            Fail("Extraction failure.", "Extraction failure");
        inflateGuard = InflateGuard(&stream);
        ExtractEntries(targetFolder, stream, heldFiles, writeFile);
    } catch (const FatalError&) {
        throw;
    } catch (const std::exception& e) {
        LOG_ERROR << "Extraction failure: " << e.what();
        throw FatalError(e.what(), FatalError::ExtractFailure);
    }
    callback();
}

}  // namespace Setup
