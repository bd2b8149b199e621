#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "halvlib/Format.h"

namespace halvlib::logging {

enum Level : int { Debug = 0, Info = 1, Warning = 2, Error = 3, Always = 4, Off = 5 };

// The name of a level as written into lines; "?" outside Debug..Off.
const char* LevelName(int level);

struct LogEntry {
    int level = Off;
    bool hasLevel = false;  // false: the entry passes every level test
    std::tm time{};         // UTC
    std::int64_t milliseconds = 0;
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;

    // The one level test of the logger and of every sink.
    bool Passes(int minimumLevel) const { return !hasLevel || level >= minimumLevel; }
};

// A process-wide level, an on/off switch and up to one sink of each kind, each sink with its own
// minimum level. A new logger is disabled, at level Off, without sinks: it drops everything.
class Logger {
public:
    Logger();
    virtual ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    virtual int GetLevel();
    // Hands a ready entry to the sinks.
    virtual void Write(const LogEntry& entry, const std::string& text);
    // Stamps the current time, process and thread on the text and hands it to the sinks.
    virtual void Log(int level, const std::string& text);
    // The sinks run under the logger's lock: a callback must not log to the same logger.

    void SetLevel(int level);
    void Enable(bool enabled);

    // Each call replaces the sink of its kind.
    // Appends lines to an open file; the logger takes ownership of the handle.
    void SetHandleSink(HANDLE file, int minimumLevel);
    // Appends to the file at path, and moves it to path.1 (path.1 to .2, ... up to .5) once it
    // grows past maximumSize bytes.
    void SetRotatingFileSink(const std::wstring& path, int minimumLevel, std::uint64_t maximumSize);
    // Appends lines to the file at path from a thread of its own, so that callers never wait for
    // the disk; every line is written before the logger is gone.
    void SetQueuedFileSink(const std::wstring& path, int minimumLevel);
    // Writes short-time lines to a console or any writable handle; the caller keeps the handle.
    void SetConsoleSink(HANDLE output, int minimumLevel);
    // Calls back with the entry and the message as given.
    void SetCallbackSink(std::function<void(const LogEntry&, const std::string&)> callback,
                         int minimumLevel);

private:
    struct State;
    void Dispatch(const LogEntry& entry, const std::string& text);
    std::unique_ptr<State> state;
};

// The calling thread's logger; first the process-wide default logger.
Logger*& CurrentLogger();
Logger* GetLogger();

// One log statement: collects the text and logs it on destruction. done means the level is below
// the logger's level, so the insertions are skipped (see HALVLIB_LOG).
class LogStream {
public:
    LogStream(Logger* logger, int level);
    ~LogStream();
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;

    LogStream& operator<<(const std::string& text);
    LogStream& operator<<(std::string_view text);
    LogStream& operator<<(const char* text);  // null writes "<<null>>"
    LogStream& operator<<(const std::wstring& text);  // as UTF-8
    LogStream& operator<<(std::wstring_view text);
    LogStream& operator<<(const wchar_t* text);  // null writes "<<null>>"
    LogStream& operator<<(char value);            // the character
    LogStream& operator<<(wchar_t value);         // the character, as UTF-8
    LogStream& operator<<(bool value);            // "true" / "false"
    // Integers of every width in decimal, the byte-sized ones included.
    LogStream& operator<<(signed char value);
    LogStream& operator<<(unsigned char value);
    LogStream& operator<<(short value);
    LogStream& operator<<(unsigned short value);
    LogStream& operator<<(int value);
    LogStream& operator<<(unsigned int value);
    LogStream& operator<<(long value);
    LogStream& operator<<(unsigned long value);
    LogStream& operator<<(long long value);
    LogStream& operator<<(unsigned long long value);
    LogStream& operator<<(double value);
    LogStream& operator<<(const void* pointer);  // "0x" and hexadecimal digits
    LogStream& operator<<(std::nullptr_t);       // "<<null>>"

    LogStream& appendFormat(const char* format, ...) HALVLIB_PRINTF_FORMAT(2, 3);

    Logger* logger;
    int level;
    std::ostringstream stream;
    bool done;
};

// File helpers of the file sinks.
// Opens (creating when missing) a log file that is neither a link nor a reparse point; returns
// INVALID_HANDLE_VALUE when it cannot.
HANDLE OpenLogFile(const std::wstring& path, DWORD shareMode, bool append);
// Moves source onto target; returns quietly when there is no source, throws std::system_error
// when the move keeps failing.
void CommitFile(const std::wstring& source, const std::wstring& target);
// Shifts path.1..4 to path.2..5 (the extension stays last: a.log -> a.1.log), moves path to
// path.1, and reopens path empty into handle.
void RotateLogFiles(const std::wstring& path, HANDLE& handle, DWORD shareMode);

// The message as placed in a line: trailing blanks cut, line breaks turned into CR LF TAB, CR
// dropped, other control bytes written as \xNN.
std::string CleanMessage(std::string_view text);
// time " [" pid ":" tid "] " level " " message CR LF, with time in timeFormat (strftime) and
// ".mmmZ" after it; the message is cleaned first.
std::string FormatLine(const LogEntry& entry, const char* timeFormat, std::string_view message);

}  // namespace halvlib::logging

// A log statement on the calling thread's logger:
//     HALVLIB_LOG(halvlib::logging::Warning) << "x " << 5;
// The loop body (the insertions) runs once, or not at all when the level is dropped; the stream
// logs its text when it goes out of scope at the end of the statement. A single statement, so it
// fits an unbraced if/else.
#define HALVLIB_LOG(level)                                                                 \
    for (::halvlib::logging::LogStream halvlibLogStream_(::halvlib::logging::GetLogger(), \
                                                         (level));                         \
         !halvlibLogStream_.done; halvlibLogStream_.done = true)                           \
    halvlibLogStream_
