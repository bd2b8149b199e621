#include "halvlib/Logging.h"

#include <ctime>
#include <mutex>
#include <utility>

#include "halvlib/Format.h"
#include "halvlib/LogSinks.h"
#include "halvlib/String.h"
#include "halvlib/Time.h"

namespace halvlib::logging {

namespace {

constexpr const char* kLevelNames[] = {"Debug", "Info", "Warning", "Error", "Always", "Off"};
constexpr const char* kNull = "<<null>>";
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kContinuation = "\r\n\t";

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerMillisecond = 10'000;
constexpr std::int64_t kTicksFrom1601To1970 = 116'444'736'000'000'000;

std::int64_t FloorDivide(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// The C library of older Windows versions knows neither %F nor %T (and stops the process on a
// directive it does not know), so they are spelled out before strftime sees them.
std::string ExpandTimeFormat(const char* format)
{
    std::string result;
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 'F') {
            result += "%Y-%m-%d";
            ++p;
        } else if (p[0] == '%' && p[1] == 'T') {
            result += "%H:%M:%S";
            ++p;
        } else if (p[0] == '%' && p[1] != '\0') {
            result += p[0];
            result += p[1];
            ++p;
        } else {
            result += *p;
        }
    }
    return result;
}

}  // namespace

const char* LevelName(int level)
{
    if (level < Debug || level > Off)
        return "?";
    return kLevelNames[level];
}

std::string CleanMessage(std::string_view text)
{
    const std::size_t end = text.find_last_not_of("\t\n\v\f\r ");
    text = end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);

    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\t' || byte >= 32) {
            result += c;
        } else if (byte == '\n') {
            result += kContinuation;
        } else if (byte == '\r') {
            continue;
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            result += "\\x";
            result += kHex[byte >> 4];
            result += kHex[byte & 0xf];
        }
    }
    return result;
}

std::string FormatLine(const LogEntry& entry, const char* timeFormat, std::string_view message)
{
    char time[128];
    const std::size_t timeLength =
        std::strftime(time, sizeof time, ExpandTimeFormat(timeFormat).c_str(), &entry.time);
    std::string line(time, timeLength);
    line += formatString(".%03lldZ [%5lu:%5lu] ", static_cast<long long>(entry.milliseconds),
                         static_cast<unsigned long>(entry.processId), static_cast<unsigned long>(entry.threadId));
    line += LevelName(entry.level);
    line += ' ';
    line += CleanMessage(message);
    line += kLineEnd;
    return line;
}

struct Logger::State {
    // Destroyed in reverse order: the sinks from the callback back to the handle, then the mutex.
    int level = Off;
    std::uint32_t processId = GetCurrentProcessId();
    std::mutex mutex;
    bool enabled = false;
    std::unique_ptr<HandleSink> handleSink;
    std::unique_ptr<RotatingFileSink> rotatingFileSink;
    std::unique_ptr<QueuedFileSink> queuedFileSink;
    std::unique_ptr<ConsoleSink> consoleSink;
    std::unique_ptr<CallbackSink> callbackSink;
};

Logger::Logger() : state(std::make_unique<State>()) {}

Logger::~Logger() = default;

int Logger::GetLevel()
{
    std::lock_guard<std::mutex> guard(state->mutex);
    return state->level;
}

void Logger::Write(const LogEntry& entry, const std::string& text)
{
    std::lock_guard<std::mutex> guard(state->mutex);
    if (state->enabled && entry.Passes(state->level))
        Dispatch(entry, text);
}

void Logger::Log(int level, const std::string& text)
{
    std::lock_guard<std::mutex> guard(state->mutex);
    if (!state->enabled || level < state->level)
        return;

    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::int64_t ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                                  now.dwLowDateTime) -
        kTicksFrom1601To1970;
    const std::int64_t seconds = FloorDivide(ticks, kTicksPerSecond);

    LogEntry entry;
    entry.level = level;
    entry.hasLevel = true;
    entry.time = halvlib::time::GmTime(seconds);
    entry.milliseconds = FloorDivide(ticks, kTicksPerMillisecond) - seconds * 1000;
    entry.processId = state->processId;
    entry.threadId = GetCurrentThreadId();
    Dispatch(entry, text);
}

void Logger::Dispatch(const LogEntry& entry, const std::string& text)
{
    LogSink* const sinks[] = {state->handleSink.get(), state->rotatingFileSink.get(),
                              state->queuedFileSink.get(), state->consoleSink.get(),
                              state->callbackSink.get()};
    for (LogSink* sink : sinks)
        if (sink != nullptr && sink->Accepts(entry))
            sink->Write(entry, text);
}

void Logger::SetLevel(int level)
{
    std::lock_guard<std::mutex> guard(state->mutex);
    state->level = level;
}

void Logger::Enable(bool enabled)
{
    std::lock_guard<std::mutex> guard(state->mutex);
    state->enabled = enabled;
}

// The sink is made before the lock is taken and the one it replaces is destroyed after it is
// released: a queued sink's thread is started and joined without holding up the loggers.
void Logger::SetHandleSink(HANDLE file, int minimumLevel)
{
    auto sink = std::make_unique<HandleSink>(file, minimumLevel);
    std::lock_guard<std::mutex> guard(state->mutex);
    std::swap(state->handleSink, sink);
}

void Logger::SetRotatingFileSink(const std::wstring& path, int minimumLevel,
                                 std::uint64_t maximumSize)
{
    auto sink = std::make_unique<RotatingFileSink>(path, minimumLevel, maximumSize);
    std::lock_guard<std::mutex> guard(state->mutex);
    std::swap(state->rotatingFileSink, sink);
}

void Logger::SetQueuedFileSink(const std::wstring& path, int minimumLevel)
{
    auto sink = std::make_unique<QueuedFileSink>(path, minimumLevel);
    std::lock_guard<std::mutex> guard(state->mutex);
    std::swap(state->queuedFileSink, sink);
}

void Logger::SetConsoleSink(HANDLE output, int minimumLevel)
{
    auto sink = std::make_unique<ConsoleSink>(output, minimumLevel);
    std::lock_guard<std::mutex> guard(state->mutex);
    std::swap(state->consoleSink, sink);
}

void Logger::SetCallbackSink(std::function<void(const LogEntry&, const std::string&)> callback,
                             int minimumLevel)
{
    auto sink = std::make_unique<CallbackSink>(std::move(callback), minimumLevel);
    std::lock_guard<std::mutex> guard(state->mutex);
    std::swap(state->callbackSink, sink);
}

Logger*& CurrentLogger()
{
    static Logger defaultLogger;
    thread_local Logger* current = &defaultLogger;
    return current;
}

Logger* GetLogger()
{
    return CurrentLogger();
}

LogStream::LogStream(Logger* logger, int level)
    : logger(logger), level(level), done(logger == nullptr || level < logger->GetLevel())
{
}

LogStream::~LogStream()
{
    const std::string text = stream.str();
    if (text.empty() || logger == nullptr)
        return;
    try {
        logger->Log(level, text);
    } catch (...) {
        // A failed rotation must not end the process out of a destructor; the line is lost.
    }
}

LogStream& LogStream::operator<<(const std::string& text)
{
    stream << text;
    return *this;
}

LogStream& LogStream::operator<<(std::string_view text)
{
    stream << text;
    return *this;
}

LogStream& LogStream::operator<<(const char* text)
{
    stream << (text != nullptr ? text : kNull);
    return *this;
}

LogStream& LogStream::operator<<(const std::wstring& text)
{
    stream << WideToUtf8(text);
    return *this;
}

LogStream& LogStream::operator<<(std::wstring_view text)
{
    stream << WideToUtf8(text);
    return *this;
}

LogStream& LogStream::operator<<(const wchar_t* text)
{
    if (text == nullptr)
        stream << kNull;
    else
        stream << WideToUtf8(std::wstring_view(text));
    return *this;
}

LogStream& LogStream::operator<<(char value)
{
    stream << value;
    return *this;
}

LogStream& LogStream::operator<<(wchar_t value)
{
    stream << WideToUtf8(std::wstring_view(&value, 1));
    return *this;
}

LogStream& LogStream::operator<<(bool value)
{
    stream << (value ? "true" : "false");
    return *this;
}

LogStream& LogStream::operator<<(signed char value)
{
    stream << static_cast<int>(value);
    return *this;
}

LogStream& LogStream::operator<<(unsigned char value)
{
    stream << static_cast<unsigned>(value);
    return *this;
}

LogStream& LogStream::operator<<(short value)
{
    stream << value;
    return *this;
}

LogStream& LogStream::operator<<(unsigned short value)
{
    stream << value;
    return *this;
}

LogStream& LogStream::operator<<(int value)
{
    stream << value;
    return *this;
}

LogStream& LogStream::operator<<(unsigned int value)
{
    stream << value;
    return *this;
}

LogStream& LogStream::operator<<(long value)
{
    stream << value;
    return *this;
}

LogStream& LogStream::operator<<(unsigned long value)
{
    stream << value;
    return *this;
}

LogStream& LogStream::operator<<(long long value)
{
    stream << value;
    return *this;
}

LogStream& LogStream::operator<<(unsigned long long value)
{
    stream << value;
    return *this;
}

LogStream& LogStream::operator<<(double value)
{
    stream << value;
    return *this;
}

LogStream& LogStream::operator<<(const void* pointer)
{
    if (pointer == nullptr)
        stream << kNull;
    else
        stream << formatString("0x%p", pointer);
    return *this;
}

LogStream& LogStream::operator<<(std::nullptr_t)
{
    stream << kNull;
    return *this;
}

LogStream& LogStream::appendFormat(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::string text;
    try {
        text = formatStringV(format, arguments);
    } catch (...) {
        va_end(arguments);
        throw;
    }
    va_end(arguments);
    stream << text;
    return *this;
}

}  // namespace halvlib::logging
