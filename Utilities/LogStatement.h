#pragma once

#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

#include "halvlib/String.h"
#include "Utilities/TraceLog.h"

// One line of the trace log, built on the stack at the log site and written when it ends.
// Inserting never throws to the log site: a failed insertion is dropped and the line goes on.
class LogStatement {
public:
    explicit LogStatement(const char* level) : level(level) {}
    ~LogStatement()
    {
        // Deliberately noexcept: a failure while writing the line ends the process.
        if (!GetTraceLogFile().empty())
            WriteTraceLogLine(level, text.str());
    }
    LogStatement(const LogStatement&) = delete;
    LogStatement& operator=(const LogStatement&) = delete;

    template <class T>
    LogStatement& operator<<(const T& value) noexcept
    {
        try {
            Insert(value);
        } catch (...) {
        }
        return *this;
    }

    bool done = false;

private:
    template <class T>
    void Insert(const T& value)
    {
        using V = std::decay_t<T>;
        using Element = std::remove_cv_t<std::remove_extent_t<T>>;
        if constexpr (std::is_array_v<T> && std::is_same_v<Element, char>) {
            text << value;  // a literal, never null
        } else if constexpr (std::is_array_v<T> && std::is_same_v<Element, wchar_t>) {
            text << WideToUtf8(std::wstring_view(value));
        } else if constexpr (std::is_same_v<V, const char*> || std::is_same_v<V, char*>) {
            text << (value ? static_cast<const char*>(value) : "<nullptr>");
        } else if constexpr (std::is_same_v<V, const wchar_t*> || std::is_same_v<V, wchar_t*>) {
            if (value)
                text << WideToUtf8(std::wstring_view(value));
            else
                text << "<nullptr>";
        } else if constexpr (std::is_same_v<V, std::wstring> || std::is_same_v<V, std::wstring_view>) {
            text << WideToUtf8(std::wstring_view(value));
        } else if constexpr (std::is_same_v<V, std::filesystem::path>) {
            text << WideToUtf8(std::wstring_view(value.native()));
        } else {
            text << value;
        }
    }

    const char* level;
    std::ostringstream text;
};

// The body of a log site runs exactly once: the loop ends after its first pass.
#define HALVEX_LOG(levelWord) for (LogStatement logStatement_(levelWord); !logStatement_.done; logStatement_.done = true) logStatement_
#define LOG_INFO HALVEX_LOG("INFO")
#define LOG_WARNING HALVEX_LOG("WARNING")
#define LOG_ERROR HALVEX_LOG("ERROR")
