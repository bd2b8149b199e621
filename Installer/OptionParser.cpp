#include "Installer/OptionParser.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <cwctype>
#include <sstream>

#include "halvlib/String.h"

namespace option {

namespace {

unsigned MaxIndex(const Descriptor* usage)
{
    unsigned max = 0;
    for (const Descriptor* row = usage; row->shortopt != nullptr; ++row)
        max = std::max(max, row->index);
    return max;
}

const Descriptor* UnknownRow(const Descriptor* usage)
{
    for (const Descriptor* row = usage; row->shortopt != nullptr; ++row)
        if (*row->shortopt == '\0' && (row->longopt == nullptr || *row->longopt == '\0'))
            return row;
    return nullptr;
}

const Descriptor* FindLong(const Descriptor* usage, const char* name, std::size_t length)
{
    for (const Descriptor* row = usage; row->shortopt != nullptr; ++row)
        if (row->longopt != nullptr && *row->longopt != '\0' && std::strlen(row->longopt) == length &&
            std::strncmp(row->longopt, name, length) == 0)
            return row;
    return nullptr;
}

const Descriptor* FindShort(const Descriptor* usage, char letter)
{
    for (const Descriptor* row = usage; row->shortopt != nullptr; ++row)
        if (std::strchr(row->shortopt, letter) != nullptr && letter != '\0')
            return row;
    return nullptr;
}

}  // namespace

ParseResult Parse(const Descriptor* usage, int argc, const char* const* argv)
{
    ParseResult result;
    result.options.resize(MaxIndex(usage) + 2);
    const Descriptor* unknown = UnknownRow(usage);

    // Runs the row's check on one occurrence and stores it; false ends parsing with an error.
    auto store = [&](const Descriptor* row, Option occurrence, bool valueIsNextArgument, int& i) {
        if (row == nullptr)
            return true;  // unknown and no row takes it: dropped
        occurrence.desc = row;
        switch (row->check_arg(occurrence)) {
        case ARG_OK:
            if (valueIsNextArgument)
                ++i;
            break;
        case ARG_ILLEGAL:
            result.error = true;
            return false;
        default:
            occurrence.arg = nullptr;
            break;
        }
        result.buffer.push_back(occurrence);
        if (!result.options[row->index].present())
            result.options[row->index] = occurrence;
        return true;
    };

    int i = 0;
    for (; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] != '-' || argument[1] == '\0')
            break;
        if (std::strcmp(argument, "--") == 0) {
            ++i;
            break;
        }
        const bool hasNext = i + 1 < argc;
        if (argument[1] == '-') {
            const char* name = argument + 2;
            const char* equals = std::strchr(name, '=');
            const std::size_t length = equals ? static_cast<std::size_t>(equals - name) : std::strlen(name);
            Option occurrence;
            occurrence.name = argument;
            occurrence.namelen = static_cast<int>(length + 2);
            occurrence.arg = equals ? equals + 1 : hasNext ? argv[i + 1] : nullptr;
            const Descriptor* row = FindLong(usage, name, length);
            if (!store(row ? row : unknown, occurrence, !equals && hasNext, i))
                return result;
            continue;
        }
        // A run of short options; no table of ours has letters, so each is an unknown option.
        for (const char* letter = argument + 1; *letter != '\0'; ++letter) {
            const bool last = letter[1] == '\0';
            Option occurrence;
            occurrence.name = letter;
            occurrence.namelen = 1;
            occurrence.arg = !last ? letter + 1 : hasNext ? argv[i + 1] : nullptr;
            const Descriptor* row = FindShort(usage, *letter);
            if (!store(row ? row : unknown, occurrence, last && hasNext, i))
                return result;
            // A kept value was the rest of the argument (or the next one): the run ends here.
            if (!result.buffer.empty() && result.buffer.back().name == letter && result.buffer.back().arg != nullptr)
                break;
        }
    }
    for (; i < argc; ++i)
        result.nonOptions.push_back(argv[i]);
    return result;
}

std::string PrintUsage(const Descriptor* usage, int width)
{
    std::ostringstream out;
    const auto printLine = [&](std::string line) {
        while (static_cast<int>(line.size()) > width) {
            std::size_t cut = line.rfind(' ', static_cast<std::size_t>(width));
            if (cut == std::string::npos || cut == 0) {
                out << line.substr(0, static_cast<std::size_t>(width)) << '\n';
                line.erase(0, static_cast<std::size_t>(width));
            } else {
                out << line.substr(0, cut) << '\n';
                line.erase(0, cut + 1);
            }
        }
        out << line << '\n';
    };
    for (const Descriptor* row = usage; row->shortopt != nullptr; ++row) {
        if (row->help == nullptr)
            continue;
        std::istringstream lines(row->help);
        for (std::string line; std::getline(lines, line);)
            printLine(line);
    }
    return out.str();
}

}  // namespace option

namespace OptionParserLib::Helper {

namespace {

const char* Value(const std::vector<option::Option>& options, unsigned index)
{
    return index < options.size() && options[index].present() ? options[index].arg : nullptr;
}

bool Present(const std::vector<option::Option>& options, unsigned index)
{
    return index < options.size() && options[index].present();
}

// Each option is one log line: a line break inside a value is written as a marker instead. Not
// as "\n": the trace log doubles backslashes, so that would read as a backslash and an "n".
std::wstring OneLine(const std::wstring& text)
{
    std::wstring line;
    line.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'\r')
            line += L"<CR>";
        else if (c == L'\n')
            line += L"<LF>";
        else
            line += c;
    }
    return line;
}

template <class T>
std::optional<T> Logged(std::wostream& log, const wchar_t* message, std::optional<T> value)
{
    if (message == nullptr)
        return value;
    log << message << L": ";
    if (!value)
        log << L"--";
    else if constexpr (std::is_same_v<T, std::string>)
        log << OneLine(Utf8ToWide(*value));
    else if constexpr (std::is_same_v<T, std::wstring>)
        log << OneLine(*value);
    else
        log << *value;
    log << L"\n";
    return value;
}

// Stream extraction's rules: leading white space, one sign, then the leading digits; no digits
// is 0. A number beyond int becomes the nearest int rather than 0, so range checks still refuse it.
int ToNumber(const char* text)
{
    if (text == nullptr)
        return 0;
    while (*text != '\0' && std::strchr(" \t\n\v\f\r", *text) != nullptr)
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long number = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        number = std::min(limit, number * 10 + (*text - '0'));
    return static_cast<int>(negative ? -number : number);
}

}  // namespace

std::optional<std::wstring> optional_string_arg(std::wostream& log, const std::vector<option::Option>& options,
                                                unsigned index, const wchar_t* message)
{
    std::optional<std::wstring> value;
    if (Present(options, index)) {
        const char* text = Value(options, index);
        value = text ? halvlib::string::ToUtf16(std::string_view(text)) : std::wstring();
    }
    return Logged(log, message, value);
}

std::optional<std::string> optional_narrow_string_arg(std::wostream& log, const std::vector<option::Option>& options,
                                                      unsigned index, const wchar_t* message)
{
    std::optional<std::string> value;
    if (Present(options, index)) {
        const char* text = Value(options, index);
        value = text ? std::string(text) : std::string();
    }
    return Logged(log, message, value);
}

std::optional<int> optional_num_arg(std::wostream& log, const std::vector<option::Option>& options, unsigned index,
                                    const wchar_t* message)
{
    std::optional<int> value;
    if (Present(options, index)) {
        value = ToNumber(Value(options, index));
    }
    return Logged(log, message, value);
}

bool flag(std::wostream& log, const std::vector<option::Option>& options, unsigned index, const wchar_t* message)
{
    const bool given = Present(options, index);
    if (message != nullptr)
        log << message << L": " << given << L"\n";
    return given;
}

std::vector<std::wstring> SplitList(const std::wstring& text)
{
    std::vector<std::wstring> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find_first_of(L",;", start);
        std::wstring item = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!item.empty())
            items.push_back(std::move(item));
        if (end == std::wstring::npos)
            return items;
        start = end + 1;
    }
}

bool IsBlank(const std::wstring& text)
{
    for (wchar_t c : text)
        if (c != L'\t' && !std::iswblank(c))
            return false;
    return true;
}

bool IsBlank(const std::string& text)
{
    for (char c : text)
        if (c != '\t' && !std::isblank(static_cast<unsigned char>(c)))
            return false;
    return true;
}

}  // namespace OptionParserLib::Helper
