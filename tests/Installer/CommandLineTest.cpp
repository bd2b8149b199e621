#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <type_traits>

#include "halvlib/String.h"
#include "Installer/CommandLine.h"

using ::testing::HasSubstr;

namespace {

// The parsed options point into the command line's own copies of the arguments.
static_assert(!std::is_copy_constructible_v<CommandLine> && !std::is_move_constructible_v<CommandLine> &&
              !std::is_copy_assignable_v<CommandLine> && !std::is_move_assignable_v<CommandLine>);

struct Parsed {
    CommandLineOptions options;
    std::string log;
};

// Parses and evaluates a command line; exceptions reach the test.
Parsed Evaluate(const std::wstring& arguments)
{
    std::wostringstream log;
    const CommandLine commandLine(log, L"HalvexInstall.exe " + arguments,
                                  OptionParserLib::Helper::UnknownOptionsBehaviour::Ignore);
    Parsed parsed{evaluateCommandLineOptions(log, commandLine.parse()), {}};
    parsed.log = WideToUtf8(log.str());
    return parsed;
}

std::string ErrorOf(const std::wstring& arguments)
{
    try {
        Evaluate(arguments);
    } catch (const CommandLineException& e) {
        return e.what();
    }
    return "";
}

TEST(CommandLine, ParserRules)
{
    // Flags ignore "=" text; values count only attached with "="; the first occurrence wins.
    const auto p = Evaluate(L"--quiet=no --language=1036 --language=1031 --crtcatalogpath= --userid=me -q --unknown=x "
                            L"--quietx --customertoken=abc --");
    EXPECT_TRUE(p.options.quiet);
    EXPECT_EQ(p.options.language, 1036);
    EXPECT_EQ(p.options.crtcatalogpath, L"");  // given empty: engaged
    EXPECT_EQ(p.options.userid, L"me");
    EXPECT_EQ(p.options.customertoken, L"abc");
    EXPECT_FALSE(p.options.localinstallsource);
    EXPECT_TRUE(Evaluate(L"--Quiet").options.quiet == false) << "names are case-sensitive";
}

TEST(CommandLine, NonOptionsAreRefused)
{
    EXPECT_EQ(ErrorOf(L"--language fr-fr"), "Non-option passed: fr-fr");
    EXPECT_EQ(ErrorOf(L"setup"), "Non-option passed: setup");
    EXPECT_EQ(ErrorOf(L"--quiet - --nofeedback"), "Non-option passed: -");
    EXPECT_EQ(ErrorOf(L"--unknown value"), "Non-option passed: value");
    EXPECT_EQ(ErrorOf(L"-- after"), "Non-option passed: after");
    EXPECT_EQ(ErrorOf(L"--"), "");
}

TEST(CommandLine, ValueConversions)
{
    const auto p = Evaluate(L"--language=12ab --goldimage --goldimagetimeout=abc --messagerelays=a:1,,b:2;a:1;\" \" "
                            L"--proxyaddress=\"proxy host:8080\" --devicegroup=Gr\u00fcppe\\Sub");
    EXPECT_EQ(p.options.language, 12);
    EXPECT_EQ(p.options.goldimagetimeout, 0);
    EXPECT_EQ(p.options.messagerelays, (std::set<std::wstring>{L"a:1", L"b:2", L" "}));
    EXPECT_EQ(p.options.proxyaddress, "proxy host:8080");
    EXPECT_EQ(p.options.devicegroup, L"Gr\u00fcppe\\Sub");
    EXPECT_EQ(Evaluate(L"--language").options.language, 0) << "given without a value";
}

TEST(CommandLine, NumbersAreReadLikeStreamExtraction)
{
    // Leading blanks and one sign, then the leading digits; text without digits is 0; beyond int
    // the nearest int, so that a range check still sees the number as too large or too small.
    const std::pair<const wchar_t*, int> cases[] = {
        {L"--language=", 0},
        {L"--language=1036", 1036},
        {L"--language=+5", 5},
        {L"--language=\" 5\"", 5},
        {L"--language=\"\t5\"", 5},
        {L"--language=5x", 5},
        {L"--language=0x10", 0},
        {L"--language=-0", 0},
        {L"--language=-7", -7},
        {L"--language=+-5", 0},
        {L"--language=\"- 5\"", 0},
        {L"--language=-", 0},
        {L"--language=x5", 0},
        {L"--language=2147483647", 2147483647},
        {L"--language=-2147483648", -2147483647 - 1},
        {L"--language=2147483648", 2147483647},
        {L"--language=99999999999", 2147483647},
        {L"--language=99999999999999999999999999999", 2147483647},
        {L"--language=-2147483649", -2147483647 - 1},
        {L"--language=-99999999999x", -2147483647 - 1},
        {L"--language=000000000000000000001036", 1036},
    };
    for (const auto& [arguments, language] : cases) {
        const auto p = Evaluate(arguments);
        EXPECT_EQ(p.options.language, language) << WideToUtf8(arguments);
        EXPECT_THAT(p.log, HasSubstr("\nLanguage will be set to: " + std::to_string(language) + "\n"))
            << WideToUtf8(arguments);
    }
}

TEST(CommandLine, LineBreaksInAValueStayInItsLogLine)
{
    const struct {
        const wchar_t* arguments;
        const char* line;
    } cases[] = {
        {L"--userid=\"first\nsecond\"", "\nUsing specified user ID: first<LF>second\n"},
        {L"--userid=\"a\r\nb\rc\n\"", "\nUsing specified user ID: a<CR><LF>b<CR>c<LF>\n"},
        {L"--devicegroup=\"G\\new\nSub\"", "\nUsing cloud group: G\\new<LF>Sub\n"},
        {L"--messagerelays=\"a:1,\nb:2\"", "\nUsing message relays: a:1,<LF>b:2\n"},
        {L"--proxyaddress=\"p:1\r\n\" --proxyusername=\"u\nINFO : forged\"",
         "\nProxy address: p:1<CR><LF>\nProxy user name: u<LF>INFO : forged\n"},
    };
    for (const auto& c : cases) {
        const auto p = Evaluate(c.arguments);
        EXPECT_THAT(p.log, HasSubstr(c.line)) << WideToUtf8(c.arguments);
        EXPECT_EQ(std::count(p.log.begin(), p.log.end(), '\n'), 30) << WideToUtf8(c.arguments);
        EXPECT_EQ(std::count(p.log.begin(), p.log.end(), '\r'), 0) << WideToUtf8(c.arguments);
    }
    // The values themselves are kept as given.
    EXPECT_EQ(Evaluate(L"--userid=\"a\r\nb\"").options.userid, L"a\r\nb");
    EXPECT_EQ(Evaluate(L"--proxyaddress=\"p\n:1\"").options.proxyaddress, "p\n:1");
    const auto p = Evaluate(L"--proxyaddress=p:1 --proxypassword=\"zq\nxj\"");
    EXPECT_EQ(p.options.proxypassword, "zq\nxj");
    EXPECT_EQ(p.log.find("zq"), std::string::npos);
    EXPECT_EQ(p.log.find("xj"), std::string::npos);
}

TEST(CommandLine, OneLogLinePerOptionWithoutThePassword)
{
    const auto p = Evaluate(L"--quiet --proxyaddress=p:1 --proxyusername=u --proxypassword=secret");
    EXPECT_THAT(p.log, ::testing::StartsWith("Quiet mode on: 1\nBypass ownership check: 0\n"));
    EXPECT_THAT(p.log, HasSubstr("\nUsing CRT catalog file path: --\n"));
    EXPECT_THAT(p.log, HasSubstr("\nProxy address: p:1\nProxy user name: u\nUsing custom customer token: --\n"));
    EXPECT_THAT(p.log, ::testing::EndsWith("\nUsing local install source: --\n"));
    EXPECT_EQ(p.log.find("secret"), std::string::npos);
    EXPECT_EQ(std::count(p.log.begin(), p.log.end(), '\n'), 30);
}

TEST(CommandLine, CrossOptionRules)
{
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"--proxyaddress=\" \"", "Cannot have a blank proxy address."},
        {L"--proxyusername=u", "Cannot pass a proxy option without passing 'proxyaddress'."},
        {L"--proxypassword=p", "Cannot pass a proxy option without passing 'proxyaddress'."},
        {L"--products=\" \"", "Need to specify which products are wanted."},
        {L"--products=", "Need to specify which products are wanted."},
        {L"--products=a,\" \",b", "Cannot have a blank products specified."},
        {L"--products=,,;", ""},
        {L"--customertoken=", "Cannot have a blank customer token."},
        {L"--goldimage --computernameoverride=pc", "Cannot use --goldimage if --computernameoverride is specified"},
        {L"--goldimagetimeout=5", "Cannot use --goldimagetimeout if --goldimage is not specified"},
        {L"--goldimage --goldimagetimeout=901", "--goldimagetimeout value out of range"},
        {L"--goldimage --goldimagetimeout=-1", "--goldimagetimeout value out of range"},
        {L"--goldimage --goldimagetimeout=900", ""},
        {L"--goldimage --goldimagetimeout=0", ""},
        // Numbers beyond int stay out of range instead of wrapping into it.
        {L"--goldimage --goldimagetimeout=99999999999", "--goldimagetimeout value out of range"},
        {L"--goldimage --goldimagetimeout=-99999999999", "--goldimagetimeout value out of range"},
        {L"--goldimage --goldimagetimeout=4294967296", "--goldimagetimeout value out of range"},
        {L"--goldimage --goldimagetimeout=2147483648", "--goldimagetimeout value out of range"},
        {L"--goldimage --goldimagetimeout=-2147483649", "--goldimagetimeout value out of range"},
        {L"--goldimage --goldimagetimeout=00000000000000000000900", ""},
        {L"--notificationmode", "Cannot use --notificationmode if --goldimage is not specified"},
        {L"--goldimage --notificationmode", ""},
    };
    for (const auto& [arguments, error] : cases)
        EXPECT_EQ(ErrorOf(arguments), error) << WideToUtf8(arguments);
}

TEST(CommandLine, UsageText)
{
    const std::string usage = WideToUtf8(CommandLine::usage());
    EXPECT_THAT(usage, ::testing::StartsWith("InstallerTests.exe <options>\n\nOptions:\n--quiet\n--bypassownershipcheck\n"));
    EXPECT_THAT(usage, HasSubstr("\n--commandlinelogging\n--nocompetitorremoval\n--crtcatalogpath=<path to CRT catalog>\n"));
    EXPECT_THAT(usage, HasSubstr("\n--devicegroup=<Corvale group>\\<Corvale subgroup>\n"));
    EXPECT_THAT(usage, ::testing::EndsWith("\n--localinstallsource=<path to folder>\n"));
}

TEST(OptionParser, UsageWrapsAtTheLineWidth)
{
    const std::string longWord(100, 'x');
    const std::string help = "one two three four five six seven eight nine ten eleven twelve thirteen fourteen";
    const option::Descriptor table[] = {
        {0, 0, "", "a", option::Arg::None, help.c_str()},
        {1, 0, "", "b", option::Arg::None, longWord.c_str()},
        {2, 0, "", "c", option::Arg::None, "first\nsecond"},
        {0, 0, nullptr, nullptr, nullptr, nullptr},
    };
    EXPECT_EQ(option::PrintUsage(table, 20), "one two three four\nfive six seven eight\nnine ten eleven\ntwelve thirteen\n"
                                             "fourteen\n" + longWord.substr(0, 20) + "\n" + longWord.substr(20, 20) + "\n" +
                                             longWord.substr(40, 20) + "\n" + longWord.substr(60, 20) + "\n" +
                                             longWord.substr(80, 20) + "\nfirst\nsecond\n");
}

TEST(RawSwitch, WholeArgumentsAfterTheProgram)
{
    EXPECT_TRUE(hasRawSwitch(L"a.exe --x --quiet", L"--quiet"));
    EXPECT_FALSE(hasRawSwitch(L"--quiet --x", L"--quiet"));
    EXPECT_FALSE(hasRawSwitch(L"a.exe --quiet=1", L"--quiet"));
}

}  // namespace
