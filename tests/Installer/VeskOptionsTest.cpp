#include <windows.h>

#include <shellapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "halvlib/String.h"
#include "Installer/CommandLine.h"
#include "Installer/VeskOptions.h"
#include "support/TempFolder.h"
#include "support/TraceLogReset.h"
#include "Utilities/Raii.h"
#include "Utilities/TraceLog.h"

using ::testing::ElementsAre;
using S1::Stage2Argument;
using S1::VeskOptions;

namespace {

struct RegionCase {
    const wchar_t* arguments;
    std::optional<std::wstring> region;
    const char* log;  // or the CommandLineException text when error is set
    bool error = false;
};

const RegionCase kRegionCases[] = {
    {L"", std::nullopt, "Using custom region: --\n"},
    {L"--region=qa", L"qa", "Using custom region: qa\n"},
    {L"--region=", L"", "Using custom region: \n"},
    {L"--region", L"", "Using custom region: \n"},  // given without a value: engaged and empty
    {L"--region=dev --region=qa", L"dev", "Using custom region: dev\n"},
    {L"--quiet --language=1036 --region=dev --products=a,b --unknown=x -q", L"dev", "Using custom region: dev\n"},
    {L"--Region=qa --regionx=qa --region-=qa", std::nullopt, "Using custom region: --\n"},
    {L"\"--region=eu west\"", L"eu west", "Using custom region: eu west\n"},
    {L"--region=Gr\u00fcn", L"Gr\u00fcn", "Using custom region: Gr\xc3\xbcn\n"},
    {L"--", std::nullopt, "Using custom region: --\n"},
    {L"--region qa", std::nullopt, "Non-option passed: qa", true},
    {L"--quiet setup", std::nullopt, "Non-option passed: setup", true},
    {L"-- --region=qa", std::nullopt, "Non-option passed: --region=qa", true},
    {L"--region=qa -", std::nullopt, "Non-option passed: -", true},
};

TEST(VeskOptionsCommandLine, ArgumentTable)
{
    for (const RegionCase& c : kRegionCases) {
        SCOPED_TRACE(WideToUtf8(c.arguments));
        std::wostringstream log;
        try {
            const S1::VeskCommandLine commandLine(log, std::wstring(L"C:\\x\\HalvexInstall.exe ") + c.arguments);
            EXPECT_FALSE(c.error) << "no CommandLineException";
            EXPECT_EQ(commandLine.Region(), c.region);
            EXPECT_EQ(WideToUtf8(log.str()), c.log);
        } catch (const CommandLineException& e) {
            EXPECT_TRUE(c.error) << e.what();
            EXPECT_STREQ(e.what(), c.log);
        }
    }
}

TEST(VeskOptionsCommandLine, ProgramNameIsNotParsed)
{
    std::wostringstream log;
    EXPECT_EQ(S1::VeskCommandLine(log, L"--region=qa").Region(), std::nullopt);
    EXPECT_EQ(S1::VeskCommandLine(log, L"\"C:\\with space\\setup.exe\" --region=qa").Region(), L"qa");
}

struct OptionsCase {
    const char* name;
    S1::StampMap stamp;
    std::optional<std::wstring> commandLineRegion;
    std::wstring region;
    std::optional<std::wstring> affiliate;
    std::wstring suffix;
};

TEST(VeskOptions, RegionAffiliateAndSuffix)
{
    const OptionsCase cases[] = {
        {"defaults", {}, std::nullopt, L"prod", std::nullopt, L"--region=\"prod\""},
        {"empty region: no item", {}, L"", L"", std::nullopt, L""},
        {"empty affiliate: no item", {{"AFFILIATE", ""}}, L"qa", L"qa", L"", L"--region=\"qa\""},
        {"first affiliate counts",
         {{"AFFILIATE", "p1"}, {"AFFILIATE", "p2"}, {"CUSTOMER_TOKEN", "t"}},
         std::nullopt,
         L"prod",
         L"p1",
         L"--region=\"prod\" --affiliate=\"p1\""},
        {"affiliate alone has no leading space", {{"AFFILIATE", "abc"}}, L"", L"", L"abc", L"--affiliate=\"abc\""},
        {"UTF-8 affiliate", {{"AFFILIATE", "Gr\xc3\xbcn"}}, L"dev", L"dev", L"Gr\u00fcn",
         L"--region=\"dev\" --affiliate=\"Gr\u00fcn\""},
        {"other keys are not the affiliate", {{"affiliate", "x"}, {"AFFILIATE_ID", "y"}}, std::nullopt, L"prod",
         std::nullopt, L"--region=\"prod\""},
    };
    for (const OptionsCase& c : cases) {
        SCOPED_TRACE(c.name);
        const VeskOptions options(c.stamp, c.commandLineRegion);
        EXPECT_EQ(options.region, c.region);
        EXPECT_EQ(options.affiliate, c.affiliate);
        EXPECT_EQ(options.Stage2Suffix(), c.suffix);
    }
    EXPECT_THAT(VeskOptions({{"AFFILIATE", "a b"}}, std::nullopt).Stage2Arguments(),
                ElementsAre(Stage2Argument{L"region", L"prod"}, Stage2Argument{L"affiliate", L"a b"}));
}

// The stage-2 command line as its program would see it, program name dropped.
std::vector<std::wstring> SplitAsStage2(const std::wstring& suffix)
{
    int count = 0;
    const ArgvGuard argv(CommandLineToArgvW((L"\"C:\\Program Files\\stage2.exe\" --fixed " + suffix).c_str(), &count));
    std::vector<std::wstring> arguments;
    for (int i = 1; i < count; ++i)
        arguments.emplace_back(argv.get()[i]);
    return arguments;
}

TEST(VeskOptions, HostileValuesStayOneArgument)
{
    const std::wstring hostile[] = {
        L"x\" --evil=\"1",          // closes the quote and adds an argument
        L"x\\\" --evil=1 \\\"",     // backslash before the quote
        L"\\\\\\\"",                // three backslashes and a quote
        L"\"",
        L"\"\"",
        L"ends\\",                  // would escape the closing quote
        L"ends\\\\",
        L"\\\\server\\share\\dir",  // backslashes not before a quote stay single
        L"tab\tand  spaces ",
        L"line\r\nfeed",
        L"\u00fcml\u00e4ut \U0001F600",
    };
    for (const std::wstring& value : hostile) {
        SCOPED_TRACE(WideToUtf8(value));
        const VeskOptions options({{"AFFILIATE", WideToUtf8(value)}}, value);
        EXPECT_THAT(SplitAsStage2(options.Stage2Suffix()),
                    ElementsAre(L"--fixed", L"--region=" + value, L"--affiliate=" + value));
    }
}

TEST(VeskOptions, QuotingRules)
{
    EXPECT_EQ(S1::QuoteCommandLineValue(L""), L"\"\"");
    EXPECT_EQ(S1::QuoteCommandLineValue(L"x\" y"), L"\"x\\\" y\"");
    EXPECT_EQ(S1::QuoteCommandLineValue(L"a\\\"b"), L"\"a\\\\\\\"b\"");
    EXPECT_EQ(S1::QuoteCommandLineValue(L"c:\\dir\\"), L"\"c:\\dir\\\\\"");
    EXPECT_EQ(S1::QuoteCommandLineValue(L"a\\b"), L"\"a\\b\"");
    EXPECT_THROW(S1::QuoteCommandLineValue(std::wstring(L"a\0--evil", 8)), std::invalid_argument);
}

TEST(VeskOptions, RunLogsTheOptionBlock)
{
    const test::TempFolder folder;
    SetTraceLogFile((folder / L"trace.log").wstring());
    const auto region = S1::ReadVeskRegion(L"HalvexInstall.exe --quiet --region=qa");
    const auto untouched = [&] {
        try {
            return S1::ReadVeskRegion(L"HalvexInstall.exe --region qa");
        } catch (const CommandLineException&) {
            return std::optional<std::wstring>(L"<refused>");
        }
    }();
    const std::string log = test::ReadFile(folder / L"trace.log");
    test::ClearTraceLogFile();

    EXPECT_EQ(region, L"qa");
    EXPECT_EQ(untouched, L"<refused>");
    std::vector<std::string> texts;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        texts.push_back(line.substr(line.find(" : ") + 3, line.find_last_not_of('\r') - line.find(" : ") - 2));
    // A refused command line logs no block.
    EXPECT_THAT(texts, ElementsAre("Stage 1 vesk command-line options:", "---", "Using custom region: qa", "---"));
    EXPECT_THAT(log, ::testing::HasSubstr(" INFO : Using custom region: qa"));
}

}  // namespace
