#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "Utilities/Raii.h"

struct z_stream_s;

namespace Setup {

// The size of a tar block, and so of every inflate step.
inline constexpr std::uint32_t kTarBlockSize = 512;
// The longest GNU long name accepted, its closing NUL included.
inline constexpr std::uint32_t kMaxTarLongNameSize = 4096;
// A file's blocks are gathered and written in pieces of up to this size.
inline constexpr std::uint32_t kFileWriteSize = 1024 * 1024;

// How file data reaches the disk: WriteFile's arguments without the overlapped one.
using FileWriteFunction = std::function<BOOL(HANDLE file, const void* data, DWORD size, DWORD* written)>;

// Unpacks a gzip- or zlib-compressed tar archive held in memory into targetFolder, then runs
// callback while every extracted file is still held open read-only. Every failure of the
// archive, an entry name that would leave targetFolder or name a device and a stream that ends
// before the archive's two closing zero blocks included, is a Setup::FatalError of type
// ExtractFailure; the callback's exceptions pass through after all files are closed.
void extractTarGzArchive(const std::filesystem::path& targetFolder, const std::uint8_t* data, std::uint32_t size,
                         const std::function<void()>& callback);
// The same, writing through writeFile; a call that fails or writes less fails the extraction.
void extractTarGzArchive(const std::filesystem::path& targetFolder, const std::uint8_t* data, std::uint32_t size,
                         const std::function<void()>& callback, const FileWriteFunction& writeFile);

// The size field of a tar header block: octal digits, optionally led by spaces and ended by a
// NUL or a space. Anything else, or a size beyond 32 bits, throws Setup::FatalError
// (ExtractFailure).
std::uint32_t parseTarOctalSize(const std::uint8_t* header);

// The data of a GNU long-name entry whose header is given, read from stream: exactly the size
// bytes of its header. Empty when the stream fails, the size is 0 or above kMaxTarLongNameSize.
std::string readTarLongName(const std::uint8_t* header, z_stream_s& stream);

// Replaces the guard's write handle by a read handle that denies writing to everyone else.
void downgradeToReadOnlyHandle(HandleGuard& handleGuard);

// Whether a tar or manifest entry name stays inside the folder it is extracted into and names a
// file there: no drive, root or leading separator, no ":", no ".." component and no component
// that Windows takes for a device (CON, NUL, COM1, ..., with or without an extension), whichever
// separator is used.
bool IsSafeEntryName(const std::string& name);

}  // namespace Setup
