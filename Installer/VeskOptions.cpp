#include "Installer/VeskOptions.h"

#include "Installer/Stage2Launch.h"

#include <windows.h>

#include <shellapi.h>

#include <sstream>
#include <stdexcept>

#include "halvlib/ErrorCategory.h"
#include "halvlib/String.h"
#include "Installer/CommandLine.h"
#include "Installer/OptionParser.h"
#include "Utilities/LogStatement.h"

namespace S1 {

namespace {

enum VeskOptionIndex : unsigned { REGION = 1 };

// No unknown-option row: the installer's own options are dropped here without a word.
const option::Descriptor kVeskTable[] = {
    {REGION, 0, "", "region", option::Arg::Attached, "--region=<dev|qa|prod>"},
    {0, 0, nullptr, nullptr, nullptr, nullptr},
};

constexpr const wchar_t* kDefaultRegion = L"prod";

void AppendItem(std::wstring& suffix, const Stage2Argument& item)
{
    if (!suffix.empty())
        suffix += L' ';
    suffix += L"--" + item.first + L'=' + QuoteCommandLineValue(item.second);
}

}  // namespace

VeskCommandLine::VeskCommandLine(std::wostream& log, const std::wstring& commandLine)
    : argv(CommandLineToArgvW(commandLine.c_str(), &argc))
{
    if (!argv)
        throw std::runtime_error("CommandLineToArgvW failed: " +
                                 halvlib::string::GetErrorMessage(static_cast<int>(GetLastError()), 0));
    for (int i = 0; i < argc; ++i)
        utf8Arguments.push_back(halvlib::string::ToUtf8(std::wstring_view(argv.get()[i])));

    std::vector<const char*> pointers;
    for (const std::string& argument : utf8Arguments)
        pointers.push_back(argument.c_str());
    // The program name is not an argument.
    const int count = argc > 0 ? argc - 1 : 0;
    const option::ParseResult result = option::Parse(kVeskTable, count, argc > 0 ? pointers.data() + 1 : nullptr);
    if (result.error)
        throw CommandLineException("Unable to parse command line");
    if (!result.nonOptions.empty())
        throw CommandLineException(std::string("Non-option passed: ") + result.nonOptions.front());
    region = OptionParserLib::Helper::optional_string_arg(log, result.options, REGION, L"Using custom region");
}

VeskOptions::VeskOptions(const StampMap& stamp, const std::optional<std::wstring>& commandLineRegion)
    : region(commandLineRegion.value_or(kDefaultRegion))
{
    // lower_bound, not find: of equal keys a multimap keeps the first line first.
    const auto found = stamp.lower_bound("AFFILIATE");
    if (found != stamp.end() && found->first == "AFFILIATE")
        affiliate = Utf8ToWide(found->second);
}

std::vector<Stage2Argument> VeskOptions::Stage2Arguments() const
{
    std::vector<Stage2Argument> items;
    if (!region.empty())
        items.push_back({L"region", region});
    if (affiliate && !affiliate->empty())
        items.push_back({L"affiliate", *affiliate});
    return items;
}

std::wstring VeskOptions::Stage2Suffix() const
{
    std::wstring suffix;
    for (const Stage2Argument& item : Stage2Arguments())
        AppendItem(suffix, item);
    return suffix;
}

std::wstring QuoteCommandLineValue(std::wstring_view value)
{
    return L"\"" + escapeCommandLineArgument(std::wstring(value)) + L"\"";
}

std::optional<std::wstring> ReadVeskRegion(const std::wstring& commandLine)
{
    std::wostringstream optionLines;
    const VeskCommandLine parsed(optionLines, commandLine);
    LOG_INFO << "Stage 1 vesk command-line options:";
    LOG_INFO << "---";
    std::wistringstream lines(optionLines.str());
    for (std::wstring line; std::getline(lines, line);)
        LOG_INFO << line;
    LOG_INFO << "---";
    return parsed.Region();
}

}  // namespace S1
