// Runs the stage-2 path on one archive file and prints how long each phase took:
//
//   PackageBenchmark ARCHIVE CERTIFICATES_FOLDER WORK_FOLDER [TRACE_LOG]
//
// The archive is read whole into memory, unpacked into WORK_FOLDER\extract_cache, verified
// strictly against the roots of CERTIFICATES_FOLDER while every unpacked file is held read-only,
// and hard-linked into WORK_FOLDER, as the installer does. With TRACE_LOG the trace log is written
// there, as the installer writes its own. One "name value" line per figure goes to the standard
// output; a failure goes to the standard error with exit code 1, bad arguments exit with 2.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "halvlib/String.h"
#include "PackageTrust/ArchiveExtraction.h"
#include "PackageTrust/ManifestTrustStore.h"
#include "PackageTrust/PackageVerifier.h"
#include "Utilities/FileSystem.h"
#include "Utilities/Raii.h"
#include "Utilities/TraceLog.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Straight into one buffer of the file's size: the archive is held once, as after a download.
std::vector<char> ReadArchive(const std::wstring& path)
{
    FileHandleGuard file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        throw std::runtime_error("CreateFileW failed: " + std::to_string(GetLastError()));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        throw std::runtime_error("GetFileSizeEx failed: " + std::to_string(GetLastError()));
    if (size.QuadPart > std::numeric_limits<std::uint32_t>::max())
        throw std::runtime_error("archive larger than 4 GiB");
    std::vector<char> archive(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < archive.size()) {
        // Never more than is left: Wine refuses a read into a buffer shorter than the count.
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(archive.size() - done, 1 << 24));
        DWORD read = 0;
        if (!ReadFile(file.get(), archive.data() + done, wanted, &read, nullptr))
            throw std::runtime_error("ReadFile failed: " + std::to_string(GetLastError()));
        if (read == 0)
            throw std::runtime_error("archive shorter than its size");
        done += read;
    }
    return archive;
}

std::uint64_t PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        throw std::runtime_error("GetProcessMemoryInfo failed: " + std::to_string(GetLastError()));
    return counters.PeakWorkingSetSize;
}

void Print(const char* name, double seconds)
{
    std::printf("%s %.4f\n", name, seconds);
}

int Run(const std::wstring& archivePath, const std::wstring& certificatesFolder, const std::filesystem::path& work)
{
    const Clock::time_point start = Clock::now();
    const std::vector<char> archive = ReadArchive(archivePath);
    const double readSeconds = SecondsSince(start);

    const Setup::ManifestTrustStore store({certificatesFolder});
    if (store.roots.empty())
        throw std::runtime_error("no .crt/.crl pair in " + WideToUtf8(certificatesFolder));
    Setup::PackageVerifier verifier(store, true);
    const std::filesystem::path cache = work / L"extract_cache";

    double extractSeconds = 0;
    double verifySeconds = 0;
    double linkSeconds = 0;
    const Clock::time_point pathStart = Clock::now();
    Clock::time_point phase = pathStart;
    Setup::extractTarGzArchive(cache, reinterpret_cast<const std::uint8_t*>(archive.data()),
                               static_cast<std::uint32_t>(archive.size()), [&] {
                                   extractSeconds = SecondsSince(phase);
                                   phase = Clock::now();
                                   verifier.verify(cache.wstring());
                                   verifySeconds = SecondsSince(phase);
                                   phase = Clock::now();
                                   utilities::HardLinkRecursive(cache, work);
                                   linkSeconds = SecondsSince(phase);
                                   phase = Clock::now();
                               });
    // Closing the held files.
    const double releaseSeconds = SecondsSince(phase);
    const double pathSeconds = SecondsSince(pathStart);
    const double totalSeconds = SecondsSince(start);

    std::printf("archive_bytes %zu\n", archive.size());
    Print("read_seconds", readSeconds);
    Print("extract_seconds", extractSeconds);
    Print("verify_seconds", verifySeconds);
    Print("link_seconds", linkSeconds);
    Print("release_seconds", releaseSeconds);
    // From the archive in memory, as after a download, to the linked tree.
    Print("path_seconds", pathSeconds);
    Print("total_seconds", totalSeconds);
    std::printf("peak_working_set_bytes %llu\n", static_cast<unsigned long long>(PeakWorkingSet()));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4 && argc != 5) {
        std::fputs("usage: PackageBenchmark ARCHIVE CERTIFICATES_FOLDER WORK_FOLDER [TRACE_LOG]\n", stderr);
        return 2;
    }
    try {
        if (argc == 5)
            SetTraceLogFile(argv[4]);
        return Run(argv[1], argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
}
