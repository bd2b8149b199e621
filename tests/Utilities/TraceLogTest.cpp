#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/Matchers.h"
#include "support/TraceLogReset.h"
#include "support/TempFolder.h"
#include "Utilities/LogStatement.h"
#include "Utilities/Stage1Logger.h"
#include "Utilities/TraceLog.h"

namespace {

using ::testing::ElementsAre;

struct EscapeCase {
    const char* name;
    std::string text;
    std::string escaped;
};

void PrintTo(const EscapeCase& c, std::ostream* out)
{
    *out << c.name;
}


class EscapeLogTextTable : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeLogTextTable, Escapes)
{
    EXPECT_EQ(EscapeLogText(GetParam().text), GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EscapeLogTextTable,
    ::testing::Values(
        EscapeCase{"Plain", "Starting stage 2 download", "Starting stage 2 download"},
        EscapeCase{"TabAndBackslash", "a\tb\\c", "a\\tb\\\\c"},
        EscapeCase{"LineBreaks", "one\r\ntwo\nthree", "one\\r\\ntwo\\nthree"},
        EscapeCase{"Nul", std::string("a\0b", 3), "a\\0b"},
        EscapeCase{"NamedControls", "\f\v\b\a", "\\f\\v\\b\\a"},
        EscapeCase{"OtherControls", "\x01\x1b\x1f\x7f", "\\x01\\x1b\\x1f\\x7f"},
        EscapeCase{"BackslashBeforeLetter", "\\n", "\\\\n"},
        EscapeCase{"Utf8Passes", "Gr\xc3\xbc\xc3\x9f" "e \xe6\x97\xa5", "Gr\xc3\xbc\xc3\x9f" "e \xe6\x97\xa5"}),
    [](const auto& info) { return info.param.name; });

TEST(EscapeControlChar, LowercaseTwoDigits)
{
    EXPECT_EQ(EscapeControlChar('\x1b'), "\\x1b");
    EXPECT_EQ(EscapeControlChar('\x00'), "\\x00");
    EXPECT_EQ(EscapeControlChar('\x7f'), "\\x7f");
}

std::vector<std::string> Lines(const std::filesystem::path& file)
{
    const std::string text = test::ReadFile(file);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the file must end with CR LF";
    return lines;
}

// Each test names its own file; the trace log path is process-wide.
class TraceLog : public ::testing::Test {
protected:
    void SetUp() override { SetTraceLogFile(file.wstring()); }
    void TearDown() override { test::ClearTraceLogFile(); }

    test::TempFolder folder;
    std::filesystem::path file = folder / L"nested" / L"deeper" / L"trace.log";
};

TEST_F(TraceLog, CreatesMissingFoldersAndWritesOneLinePerStatement)
{
    EXPECT_TRUE(std::filesystem::is_directory(file.parent_path()));
    LOG_INFO << "Starting stage 2 download";
    LOG_WARNING << "multi\nline" << " " << 42 << " " << -7L << " " << 4294967295u;
    LOG_ERROR << L"wide \u00fc" << std::wstring(L" text") << std::string(" narrow");
    const auto lines = Lines(file);
    ASSERT_EQ(lines.size(), 3u);
    const std::string time = R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{7}Z)";
    EXPECT_THAT(lines, ElementsAre(test::MatchesEcmaRegex(time + " INFO : Starting stage 2 download"),
                                   test::MatchesEcmaRegex(time + " WARNING : multi\\\\nline 42 -7 4294967295"),
                                   test::MatchesEcmaRegex(time + " ERROR : wide \xc3\xbc text narrow")));
    EXPECT_EQ(lines[0].find(' '), 28u);
}

TEST_F(TraceLog, NullStringsAreMarked)
{
    const char* narrow = nullptr;
    const wchar_t* wide = nullptr;
    char* mutableNarrow = nullptr;
    LOG_INFO << narrow << "|" << wide << "|" << mutableNarrow;
    const auto lines = Lines(file);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], ::testing::EndsWith(" INFO : <nullptr>|<nullptr>|<nullptr>"));
}

TEST_F(TraceLog, PathsAreWrittenAsUtf8)
{
    LOG_INFO << std::filesystem::path(L"C:\\Gr\u00fc\u00dfe");
    EXPECT_THAT(Lines(file).at(0), ::testing::EndsWith(" : C:\\\\Gr\xc3\xbc\xc3\x9f" "e"));
}

TEST_F(TraceLog, LastErrorSurvivesTheStatement)
{
    SetLastError(ERROR_ACCESS_DENIED);
    LOG_INFO << "between a failing call and GetLastError";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // Also when the line is lost because the file cannot be opened.
    SetTraceLogFile((folder / L"nested").wstring());  // a folder, not a file
    SetLastError(ERROR_FILE_NOT_FOUND);
    LOG_ERROR << "lost";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(TraceLog, TheBodyOfALogSiteRunsOnce)
{
    int runs = 0;
    LOG_INFO << ++runs;
    EXPECT_EQ(runs, 1);
}

TEST_F(TraceLog, CustomLoggerWritesAtItsLevels)
{
    Stage1Logger logger;
    logger.Initialise();
    logger.Flush();
    logger.Info(L"i");
    logger.Warning(L"w");
    logger.Error(L"e");
    const auto lines = Lines(file);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[0], ::testing::EndsWith(" INFO : i"));
    EXPECT_THAT(lines[1], ::testing::EndsWith(" WARNING : w"));
    EXPECT_THAT(lines[2], ::testing::EndsWith(" ERROR : e"));
}

TEST_F(TraceLog, ReplacingThePathMovesTheLines)
{
    LOG_INFO << "first";
    const auto second = folder / L"second.log";
    SetTraceLogFile(second.wstring());
    LOG_INFO << "second";
    EXPECT_EQ(Lines(file).size(), 1u);
    EXPECT_EQ(Lines(second).size(), 1u);
}

TEST(TraceLogPath, StatementsBeforeAnyFileAreDropped)
{
    test::ClearTraceLogFile();
    EXPECT_NO_THROW({ LOG_ERROR << "nowhere"; });
}

TEST(TraceLogPath, NoFileNameThrowsButThePathIsKept)
{
    test::TempFolder folder;
    const std::wstring path = (folder / L"logs").wstring() + L"\\";
    try {
        SetTraceLogFile(path);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No filename in path");
    }
    EXPECT_EQ(GetTraceLogFile(), path);
    EXPECT_FALSE(std::filesystem::exists(folder / L"logs"));
    test::ClearTraceLogFile();
}

TEST(TraceLogPath, RelativePathsAreMadeAbsolute)
{
    test::TempFolder folder;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    SetTraceLogFile(L"relative\\trace.log");
    std::filesystem::current_path(previous);
    EXPECT_TRUE(std::filesystem::is_directory(folder / L"relative"));
    test::ClearTraceLogFile();
}

TEST(EarlyFailure, TextNamesTheFailure)
{
    EXPECT_EQ(EarlyFailureText("Gr\xc3\xbc\xc3\x9f" "e"),
              L"Failure before fully initialised trace logger: Gr\u00fc\u00dfe\n");
    EXPECT_NO_THROW(ReportEarlyFailure("to the debugger"));
}

}  // namespace
