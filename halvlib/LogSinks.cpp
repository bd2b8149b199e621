#include "halvlib/LogSinks.h"

#include <gsl/narrow>
#include <utility>

#include "halvlib/String.h"

namespace halvlib::logging {

namespace {

constexpr const char* kFileTimeFormat = "%FT%T";
constexpr const char* kConsoleTimeFormat = "%H:%M:%S";
constexpr DWORD kFileShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Writes at the end of the file even when another handle has moved it since.
DWORD WriteAtEnd(HANDLE file, const std::string& line)
{
    OVERLAPPED overlapped{};
    overlapped.Offset = 0xFFFFFFFF;
    overlapped.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    if (!WriteFile(file, line.data(), gsl::narrow<DWORD>(line.size()), &written, &overlapped))
        return 0;
    return written;
}

void WriteAll(HANDLE file, const std::string& bytes)
{
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + offset, gsl::narrow<DWORD>(bytes.size() - offset),
                       &written, nullptr) ||
            written == 0)
            return;
        offset += written;
    }
}

class SharedLock {
public:
    explicit SharedLock(SRWLOCK& lock) : lock(lock) { AcquireSRWLockShared(&lock); }
    ~SharedLock() { ReleaseSRWLockShared(&lock); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

    // Runs f under the exclusive lock; the shared lock is held again afterwards.
    template <class F> void Exclusive(F&& f)
    {
        ReleaseSRWLockShared(&lock);
        AcquireSRWLockExclusive(&lock);
        try {
            f();
        } catch (...) {
            ReleaseSRWLockExclusive(&lock);
            AcquireSRWLockShared(&lock);
            throw;
        }
        ReleaseSRWLockExclusive(&lock);
        AcquireSRWLockShared(&lock);
    }

private:
    SRWLOCK& lock;
};

}  // namespace

HandleSink::HandleSink(HANDLE file, int minimumLevel) : LogSink(minimumLevel), file(file) {}

HandleSink::~HandleSink()
{
    if (file != INVALID_HANDLE_VALUE && file != nullptr)
        CloseHandle(file);
}

void HandleSink::Write(const LogEntry& entry, const std::string& text)
{
    if (file == INVALID_HANDLE_VALUE || file == nullptr)
        return;
    WriteAtEnd(file, FormatLine(entry, kFileTimeFormat, text));
}

RotatingFileSink::RotatingFileSink(std::wstring path, int minimumLevel, std::uint64_t maximumSize)
    : LogSink(minimumLevel), path(std::move(path)), maximumSize(maximumSize)
{
}

RotatingFileSink::~RotatingFileSink()
{
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

void RotatingFileSink::OpenExclusive()
{
    if (file != INVALID_HANDLE_VALUE)
        return;
    file = OpenLogFile(path, kFileShareMode, true);
    if (file != INVALID_HANDLE_VALUE)
        size.store(CompressedSize(file));
}

void RotatingFileSink::RotateExclusive()
{
    // Another writer may have rotated while this one waited for the lock.
    if (size.load() <= maximumSize)
        return;
    RotateLogFiles(path, file, kFileShareMode);
    size.store(0);
}

void RotatingFileSink::Write(const LogEntry& entry, const std::string& text)
{
    const std::string line = FormatLine(entry, kFileTimeFormat, text);
    SharedLock shared(lock);
    if (file == INVALID_HANDLE_VALUE)
        shared.Exclusive([this] { OpenExclusive(); });
    if (file == INVALID_HANDLE_VALUE)
        return;

    const DWORD written = WriteAtEnd(file, line);
    std::uint64_t current = size.load();
    while (!size.compare_exchange_weak(current, current + written)) {
    }
    if (current + written <= maximumSize)
        return;
    // Compression may keep the file below the limit on disk.
    if (CompressedSize(file) <= maximumSize)
        return;
    shared.Exclusive([this] { RotateExclusive(); });
}

QueuedFileSink::QueuedFileSink(std::wstring path, int minimumLevel)
    : LogSink(minimumLevel), path(std::move(path))
{
    file = OpenLogFile(this->path, kFileShareMode, true);
    try {
        writer = std::thread([this] { Run(); });
    } catch (...) {
        // The destructor does not run for a half-built sink.
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        throw;
    }
}

QueuedFileSink::~QueuedFileSink()
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        stop = true;
    }
    wake.notify_all();
    writer.join();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

void QueuedFileSink::Write(const LogEntry& entry, const std::string& text)
{
    std::string line = FormatLine(entry, kFileTimeFormat, text);
    {
        std::lock_guard<std::mutex> guard(mutex);
        queue.push_back(std::move(line));
    }
    wake.notify_one();
}

void QueuedFileSink::Run()
{
    std::unique_lock<std::mutex> guard(mutex);
    for (;;) {
        wake.wait(guard, [this] { return stop || !queue.empty(); });
        if (queue.empty())
            return;  // stopped, and everything queued before is written
        // One write for everything queued so far, outside the lock so that loggers never wait
        // for the disk.
        std::string batch;
        for (const std::string& line : queue)
            batch += line;
        queue.clear();
        guard.unlock();
        if (file != INVALID_HANDLE_VALUE)
            WriteAll(file, batch);
        guard.lock();
    }
}

ConsoleSink::ConsoleSink(HANDLE output, int minimumLevel) : LogSink(minimumLevel), output(output)
{
    DWORD mode = 0;
    isConsole = output != INVALID_HANDLE_VALUE && output != nullptr &&
                GetConsoleMode(output, &mode) != 0;
}

void ConsoleSink::Write(const LogEntry& entry, const std::string& text)
{
    if (output == INVALID_HANDLE_VALUE || output == nullptr)
        return;
    const std::string line = FormatLine(entry, kConsoleTimeFormat, text);
    if (isConsole) {
        const std::wstring wide = Utf8ToWide(line);
        DWORD written = 0;
        WriteConsoleW(output, wide.data(), gsl::narrow<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteAll(output, line);
    }
}

}  // namespace halvlib::logging
