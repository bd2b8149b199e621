#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// A small table-driven parser of long command-line options.
namespace option {

enum ArgStatus { ARG_NONE = 0, ARG_OK = 1, ARG_IGNORE = 2, ARG_ILLEGAL = 3 };

struct Option;
using CheckArg = ArgStatus (*)(const Option& option);

// One row of an option table. A row with empty short and long names takes unknown options.
struct Descriptor {
    unsigned index;
    int type;
    const char* shortopt;
    const char* longopt;
    CheckArg check_arg;
    const char* help;
};

// One occurrence on the command line; a slot whose desc is null was not given.
struct Option {
    const Descriptor* desc = nullptr;
    const char* name = nullptr;  // as typed, from its first dash
    const char* arg = nullptr;
    int namelen = 0;
    bool present() const { return desc != nullptr; }
};

struct Arg {
    // Flags take no value: "=text" after one is dropped.
    static ArgStatus None(const Option&) { return ARG_NONE; }
    // A value counts only when attached with "="; a value in the next argument is not taken.
    static ArgStatus Attached(const Option& option)
    {
        return option.arg != nullptr && option.name[option.namelen] == '=' ? ARG_OK : ARG_IGNORE;
    }
};

struct ParseResult {
    std::vector<Option> options;  // per index: the first occurrence
    std::vector<Option> buffer;   // every occurrence in command-line order
    std::vector<const char*> nonOptions;
    bool error = false;
};

// Parses arguments without the program name. The table ends with a row whose shortopt is null.
ParseResult Parse(const Descriptor* usage, int argc, const char* const* argv);

// Every row's help text, wrapped at `width` columns, one row per line.
std::string PrintUsage(const Descriptor* usage, int width = 80);

}  // namespace option

namespace OptionParserLib::Helper {

enum class UnknownOptionsBehaviour { Ignore, Fail };

std::optional<std::wstring> optional_string_arg(std::wostream& log, const std::vector<option::Option>& options,
                                                unsigned index, const wchar_t* message);
std::optional<std::string> optional_narrow_string_arg(std::wostream& log, const std::vector<option::Option>& options,
                                                      unsigned index, const wchar_t* message);
std::optional<int> optional_num_arg(std::wostream& log, const std::vector<option::Option>& options, unsigned index,
                                    const wchar_t* message);
bool flag(std::wostream& log, const std::vector<option::Option>& options, unsigned index, const wchar_t* message);

// Items between "," and ";", empty ones dropped (blank ones kept).
std::vector<std::wstring> SplitList(const std::wstring& text);
bool IsBlank(const std::wstring& text);
bool IsBlank(const std::string& text);

}  // namespace OptionParserLib::Helper
