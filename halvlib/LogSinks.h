#pragma once

// The logger's sinks; only Logging.cpp and the tests of the logger use them directly.

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "halvlib/Logging.h"

namespace halvlib::logging {

class LogSink {
public:
    explicit LogSink(int minimumLevel) : minimumLevel(minimumLevel) {}
    virtual ~LogSink() = default;
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    bool Accepts(const LogEntry& entry) const { return entry.Passes(minimumLevel); }
    virtual void Write(const LogEntry& entry, const std::string& text) = 0;

private:
    int minimumLevel;
};

class HandleSink : public LogSink {
public:
    HandleSink(HANDLE file, int minimumLevel);
    ~HandleSink() override;
    void Write(const LogEntry& entry, const std::string& text) override;

private:
    HANDLE file;
};

class RotatingFileSink : public LogSink {
public:
    RotatingFileSink(std::wstring path, int minimumLevel, std::uint64_t maximumSize);
    ~RotatingFileSink() override;
    void Write(const LogEntry& entry, const std::string& text) override;

private:
    void OpenExclusive();
    void RotateExclusive();

    std::wstring path;
    std::uint64_t maximumSize;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::atomic<std::uint64_t> size{0};
    SRWLOCK lock = SRWLOCK_INIT;
};

class QueuedFileSink : public LogSink {
public:
    QueuedFileSink(std::wstring path, int minimumLevel);
    ~QueuedFileSink() override;
    void Write(const LogEntry& entry, const std::string& text) override;

private:
    void Run();

    std::wstring path;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::deque<std::string> queue;
    bool stop = false;
    std::mutex mutex;
    std::condition_variable wake;
    std::thread writer;
};

class ConsoleSink : public LogSink {
public:
    ConsoleSink(HANDLE output, int minimumLevel);
    void Write(const LogEntry& entry, const std::string& text) override;

private:
    HANDLE output;
    bool isConsole;
};

class CallbackSink : public LogSink {
public:
    CallbackSink(std::function<void(const LogEntry&, const std::string&)> callback,
                 int minimumLevel)
        : LogSink(minimumLevel), callback(std::move(callback))
    {
    }
    void Write(const LogEntry& entry, const std::string& text) override
    {
        if (callback)
            callback(entry, text);
    }

private:
    std::function<void(const LogEntry&, const std::string&)> callback;
};

// The size the file takes on disk (smaller than its length when NTFS compresses it); the length
// where the system cannot tell.
std::uint64_t CompressedSize(HANDLE file);

}  // namespace halvlib::logging
