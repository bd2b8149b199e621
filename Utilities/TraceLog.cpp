#include "Utilities/TraceLog.h"

#include <windows.h>

#include <share.h>
#include <stdio.h>

#include <boost/algorithm/string/replace.hpp>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "halvlib/String.h"
#include "Utilities/TimeUtil.h"

namespace {

constexpr const wchar_t* kEarlyFailure = L"Failure before fully initialised trace logger";

// A plain pointer rather than a static string object: statements that end during static
// destruction then see null and write nothing instead of reading a destroyed object.
std::wstring* TraceLogFile = nullptr;

struct TraceLogFileOwner {
    ~TraceLogFileOwner()
    {
        delete TraceLogFile;
        TraceLogFile = nullptr;
    }
} traceLogFileOwner;

class LastErrorKeeper {
public:
    LastErrorKeeper() : saved(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(saved); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD saved;
};

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

}  // namespace

void SetTraceLogFile(const std::wstring& path)
{
    auto* replacement = new std::wstring(path);
    delete TraceLogFile;
    TraceLogFile = replacement;

    const std::filesystem::path absolute = std::filesystem::absolute(path);
    if (!absolute.has_filename())
        throw std::runtime_error("No filename in path");
    const std::filesystem::path folder = absolute.parent_path();
    if (!std::filesystem::is_directory(folder))
        std::filesystem::create_directories(folder);
}

std::wstring GetTraceLogFile()
{
    return TraceLogFile ? *TraceLogFile : std::wstring();
}

void WriteTraceLogLine(const char* level, const std::string& text)
{
    const LastErrorKeeper lastError;
    if (TraceLogFile == nullptr || TraceLogFile->empty())
        return;
    // Text mode writes the line end as CR LF; other writers and readers stay allowed.
    std::unique_ptr<FILE, FileCloser> file(_wfsopen(TraceLogFile->c_str(), L"at", _SH_DENYNO));
    if (!file)
        return;
    const auto time = utilities::as_utc_iso8601(utilities::now_as_filetime());
    std::string line(time.begin(), time.end());
    line += ' ';
    line += level;
    line += " : ";
    line += EscapeLogText(text);
    line += '\n';
    fwrite(line.data(), 1, line.size(), file.get());
}

std::string EscapeLogText(std::string text)
{
    // The backslash first, so that the backslashes of the later escapes stay single.
    static const std::pair<std::string, std::string> kReplacements[] = {
        {"\\", "\\\\"}, {"\n", "\\n"}, {"\r", "\\r"}, {std::string(1, '\0'), "\\0"},
        {"\f", "\\f"},   {"\t", "\\t"}, {"\v", "\\v"}, {"\b", "\\b"}, {"\a", "\\a"},
    };
    for (const auto& [from, to] : kReplacements)
        boost::algorithm::replace_all(text, from, to);

    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        const auto value = static_cast<signed char>(c);
        if ((value >= 0 && value <= 31) || value == 127)
            result += EscapeControlChar(c);
        else
            result += c;
    }
    return result;
}

std::string EscapeControlChar(char c)
{
    std::ostringstream out;
    out << "\\x" << std::hex;
    out.width(2);
    out.fill('0');
    out << static_cast<unsigned>(static_cast<unsigned char>(c));
    return out.str();
}

std::wstring EarlyFailureText(const char* what)
{
    std::wostringstream text;
    text << kEarlyFailure << L": " << Utf8ToWide(what ? what : "") << std::endl;
    return text.str();
}

void ReportEarlyFailure(const char* what)
{
    try {
        OutputDebugStringW(EarlyFailureText(what).c_str());
    } catch (...) {
        OutputDebugStringW(kEarlyFailure);
        OutputDebugStringW(L"\n");
    }
}
