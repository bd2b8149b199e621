#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "halvlib/Format.h"
#include "halvlib/Logging.h"
#include "support/CapturingLogger.h"
#include "support/Matchers.h"
#include "support/TempFolder.h"

namespace logging = halvlib::logging;
using halvlib::formatString;
using logging::CleanMessage;
using logging::CommitFile;
using logging::FormatLine;
using logging::LogEntry;
using logging::Logger;
using logging::OpenLogFile;
using logging::RotateLogFiles;
using test::ContainsEcmaRegex;
using test::MatchesEcmaRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
const char* const kFileTime = R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z)";
const char* const kConsoleTime = R"(\d{2}:\d{2}:\d{2}\.\d{3}Z)";

void WriteText(const std::filesystem::path& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << file;
}

// " [" pid ":" tid "]" of the calling thread, as every line of this process shows it.
std::string Ids()
{
    return formatString(" \\[%5lu:%5lu\\]", static_cast<unsigned long>(GetCurrentProcessId()),
                        static_cast<unsigned long>(GetCurrentThreadId()));
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

LogEntry FixedEntry(int level, bool hasLevel = true)
{
    LogEntry entry;
    entry.level = level;
    entry.hasLevel = hasLevel;
    entry.time.tm_year = 124;  // 2024-05-01 09:15:42
    entry.time.tm_mon = 4;
    entry.time.tm_mday = 1;
    entry.time.tm_hour = 9;
    entry.time.tm_min = 15;
    entry.time.tm_sec = 42;
    entry.milliseconds = 7;
    entry.processId = 42;
    entry.threadId = 123456;
    return entry;
}

// A logger at the given level, enabled, whose callback sink records the texts and the entries.
struct RecordingLogger {
    explicit RecordingLogger(int level, int sinkLevel = logging::Debug)
    {
        logger.SetLevel(level);
        logger.Enable(true);
        logger.SetCallbackSink(
            [this](const LogEntry& entry, const std::string& text) {
                std::lock_guard<std::mutex> guard(mutex);
                entries.push_back(entry);
                texts.push_back(text);
            },
            sinkLevel);
    }
    std::mutex mutex;
    std::vector<LogEntry> entries;
    std::vector<std::string> texts;
    Logger logger;  // last: destroyed before what its callback touches
};

// ---------------------------------------------------------------------------------------------
// The default logger

TEST(LoggingDefault, DropsEveryLevelAndReportsOff)
{
    // A thread of its own sees the default logger even when a test left another one behind.
    std::atomic<int> evaluated{0};
    int level = -1;
    bool same = false;
    std::thread([&] {
        Logger* logger = logging::GetLogger();
        same = logger == logging::CurrentLogger();
        level = logger->GetLevel();
        for (int l = logging::Debug; l <= logging::Always; ++l) {
            HALVLIB_LOG(l) << (++evaluated, "never");
            logger->Log(l, "dropped");
        }
        logger->Write(FixedEntry(logging::Always, false), "dropped");
    }).join();
    EXPECT_TRUE(same);
    EXPECT_EQ(level, logging::Off);
    EXPECT_EQ(evaluated, 0);
}

TEST(LoggingDefault, EveryThreadHasItsOwnCurrentLogger)
{
    test::CapturingLogger capture;
    Logger* otherThreads = nullptr;
    std::thread([&] { otherThreads = logging::GetLogger(); }).join();
    EXPECT_EQ(logging::GetLogger(), capture.Logger());
    EXPECT_NE(otherThreads, capture.Logger());
    EXPECT_EQ(otherThreads->GetLevel(), logging::Off);
}

// ---------------------------------------------------------------------------------------------
// Level filtering of the logger and of a sink

struct FilterCase {
    const char* name;
    bool enabled;
    int loggerLevel;
    int sinkLevel;
    int entryLevel;
    bool hasLevel;
    bool reachesSink;
};

void PrintTo(const FilterCase& c, std::ostream* out)
{
    *out << c.name;
}

class LoggingFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(LoggingFilter, WriteAndLogAgreeOnWhatReachesTheSink)
{
    const FilterCase& c = GetParam();
    RecordingLogger log(c.loggerLevel, c.sinkLevel);
    log.logger.Enable(c.enabled);
    log.logger.Write(FixedEntry(c.entryLevel, c.hasLevel), "written");
    if (c.hasLevel)
        log.logger.Log(c.entryLevel, "logged");
    if (!c.reachesSink) {
        EXPECT_TRUE(log.texts.empty());
    } else if (c.hasLevel) {
        EXPECT_THAT(log.texts, ElementsAre("written", "logged"));
    } else {
        EXPECT_THAT(log.texts, ElementsAre("written"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LoggingFilter,
    ::testing::Values(
        FilterCase{"AtBothLevels", true, logging::Info, logging::Info, logging::Info, true, true},
        FilterCase{"BelowTheLogger", true, logging::Warning, logging::Debug, logging::Info, true,
                   false},
        FilterCase{"BelowTheSink", true, logging::Debug, logging::Error, logging::Warning, true,
                   false},
        FilterCase{"AboveBoth", true, logging::Info, logging::Warning, logging::Always, true, true},
        FilterCase{"AlwaysAtOff", true, logging::Off, logging::Debug, logging::Always, true,
                   false},
        FilterCase{"Disabled", false, logging::Debug, logging::Debug, logging::Error, true, false},
        FilterCase{"NoLevelPassesLoggerAndSink", true, logging::Off, logging::Off, logging::Debug,
                   false, true},
        FilterCase{"NoLevelStillNeedsEnabled", false, logging::Debug, logging::Debug,
                   logging::Debug, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoggingLogger, EachSinkFiltersByItsOwnMinimum)
{
    test::TempFolder folder;
    const auto file = folder / L"handle.log";
    std::vector<int> callbackLevels;
    {
        Logger logger;
        logger.SetLevel(logging::Info);
        logger.Enable(true);
        logger.SetHandleSink(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                             logging::Error);
        logger.SetCallbackSink(
            [&](const LogEntry& entry, const std::string&) { callbackLevels.push_back(entry.level); },
            logging::Warning);
        for (int level = logging::Debug; level <= logging::Always; ++level)
            logger.Log(level, std::string("at ") + logging::LevelName(level));
    }
    EXPECT_THAT(callbackLevels, ElementsAre(logging::Warning, logging::Error, logging::Always));
    const std::vector<std::string> lines = Lines(test::ReadFile(file));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], HasSubstr("] Error at Error"));
    EXPECT_THAT(lines[1], HasSubstr("] Always at Always"));
}

TEST(LoggingLogger, LogStampsTimeProcessAndThread)
{
    RecordingLogger log(logging::Debug);
    SYSTEMTIME before{};
    GetSystemTime(&before);
    log.logger.Log(logging::Warning, "now");
    SYSTEMTIME after{};
    GetSystemTime(&after);

    ASSERT_EQ(log.entries.size(), 1u);
    const LogEntry& entry = log.entries[0];
    EXPECT_TRUE(entry.hasLevel);
    EXPECT_EQ(entry.level, logging::Warning);
    EXPECT_EQ(entry.processId, GetCurrentProcessId());
    EXPECT_EQ(entry.threadId, GetCurrentThreadId());
    EXPECT_GE(entry.milliseconds, 0);
    EXPECT_LE(entry.milliseconds, 999);
    // Calendar fields in UTC: the same day and hour as the system's UTC clock around the call.
    EXPECT_EQ(entry.time.tm_year + 1900, before.wYear == after.wYear ? before.wYear : entry.time.tm_year + 1900);
    EXPECT_TRUE(entry.time.tm_hour == before.wHour || entry.time.tm_hour == after.wHour);
    EXPECT_TRUE(entry.time.tm_mday == before.wDay || entry.time.tm_mday == after.wDay);
    const auto minuteOfDay = [](int h, int m, int s) { return (h * 60 + m) * 60 + s; };
    const int at = minuteOfDay(entry.time.tm_hour, entry.time.tm_min, entry.time.tm_sec);
    const int from = minuteOfDay(before.wHour, before.wMinute, before.wSecond);
    const int to = minuteOfDay(after.wHour, after.wMinute, after.wSecond);
    if (from <= to) {
        EXPECT_GE(at, from);
        EXPECT_LE(at, to);
    }
}

// ---------------------------------------------------------------------------------------------
// Message cleaning and line format

struct CleanCase {
    const char* name;
    std::string input;
    std::string expected;
};

void PrintTo(const CleanCase& c, std::ostream* out)
{
    *out << c.name;
}

class LoggingClean : public ::testing::TestWithParam<CleanCase> {};

TEST_P(LoggingClean, Message)
{
    EXPECT_EQ(CleanMessage(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LoggingClean,
    ::testing::Values(
        CleanCase{"Plain", "plain text", "plain text"},
        CleanCase{"LineBreakContinues", "a\nb", "a\r\n\tb"},
        CleanCase{"CrLfContinues", "a\r\nb", "a\r\n\tb"},
        CleanCase{"EmptyLinesKept", "a\n\nb", "a\r\n\t\r\n\tb"},
        CleanCase{"LoneCrDropped", "a\rb\r", "ab"},
        CleanCase{"TrailingBlanksCut", "text \t\r\n\v\f \n", "text"},
        CleanCase{"LeadingBlanksKept", "\t  lead", "\t  lead"},
        CleanCase{"OnlyBlanks", " \r\n\t", ""},
        CleanCase{"Empty", "", ""},
        CleanCase{"InnerTabKept", "a\tb", "a\tb"},
        CleanCase{"ControlBytesHex", std::string("\x01|\x1f|\x1b|\v|\f|") + std::string(1, '\0'),
                  "\\x01|\\x1f|\\x1b|\\x0b|\\x0c|\\x00"},
        CleanCase{"DelAndHighBytesKept", "\x7f caf\xc3\xa9 \xff", "\x7f caf\xc3\xa9 \xff"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoggingFormatLine, FileAndConsoleShapes)
{
    EXPECT_EQ(FormatLine(FixedEntry(logging::Warning), "%FT%T", "a\nb "),
              "2024-05-01T09:15:42.007Z [   42:123456] Warning a\r\n\tb\r\n");
    LogEntry entry = FixedEntry(logging::Debug);
    entry.processId = 0;
    entry.threadId = 99999;
    entry.milliseconds = 999;
    EXPECT_EQ(FormatLine(entry, "%H:%M:%S", "x"), "09:15:42.999Z [    0:99999] Debug x\r\n");
}

TEST(LoggingFormatLine, LevelNames)
{
    const char* names[] = {"Debug", "Info", "Warning", "Error", "Always", "Off"};
    for (int level = logging::Debug; level <= logging::Off; ++level)
        EXPECT_EQ(FormatLine(FixedEntry(level), "%T", "m"),
                  std::string("09:15:42.007Z [   42:123456] ") + names[level] + " m\r\n");
}

// ---------------------------------------------------------------------------------------------
// Handle and console sinks

TEST(LoggingHandleSink, AppendsLinesAtTheEndAndClosesTheHandle)
{
    test::TempFolder folder;
    const auto file = folder / L"handle.log";
    WriteText(file, "existing\r\n");
    {
        Logger logger;
        logger.SetLevel(logging::Debug);
        logger.Enable(true);
        // The handle's own position is the start of the file: the sink must still append.
        logger.SetHandleSink(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                             logging::Debug);
        logger.Log(logging::Info, "first");
        logger.Log(logging::Error, "second\nline\n");
    }
    const std::vector<std::string> lines = Lines(test::ReadFile(file));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "existing");
    EXPECT_THAT(lines[1], MatchesEcmaRegex(std::string(kFileTime) + Ids() + " Info first"));
    EXPECT_THAT(lines[2], MatchesEcmaRegex(std::string(kFileTime) + Ids() + " Error second"));
    EXPECT_EQ(lines[3], "\tline");
    // Closed with the logger: the file can be opened without sharing.
    HANDLE exclusive = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
    CloseHandle(exclusive);
}

TEST(LoggingConsoleSink, WritesShortTimeLinesToAHandleThatIsNoConsole)
{
    test::TempFolder folder;
    const auto file = folder / L"console.txt";
    HANDLE output = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(output, INVALID_HANDLE_VALUE);
    {
        Logger logger;
        logger.SetLevel(logging::Debug);
        logger.Enable(true);
        logger.SetConsoleSink(output, logging::Warning);
        logger.Log(logging::Info, "dropped");
        logger.Log(logging::Warning, "caf\xc3\xa9\x01");
    }
    CloseHandle(output);  // the console sink leaves it to its owner
    const std::vector<std::string> lines = Lines(test::ReadFile(file));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], MatchesEcmaRegex(std::string(kConsoleTime) + Ids() +
                                           " Warning caf\xc3\xa9\\\\x01"));
}

// ---------------------------------------------------------------------------------------------
// File helpers

TEST(LoggingOpenLogFile, CreatesAppendsOrTruncates)
{
    test::TempFolder folder;
    const auto file = folder / L"open.log";
    const auto writeX = [](HANDLE handle) {
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(handle, "x", 1, &written, nullptr));
        CloseHandle(handle);
    };

    HANDLE created = OpenLogFile(file.wstring(), kShareAll, true);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    writeX(created);
    EXPECT_EQ(test::ReadFile(file), "x");

    WriteText(file, "hello");
    HANDLE appended = OpenLogFile(file.wstring(), kShareAll, true);
    ASSERT_NE(appended, INVALID_HANDLE_VALUE);
    writeX(appended);
    EXPECT_EQ(test::ReadFile(file), "hellox");

    HANDLE truncated = OpenLogFile(file.wstring(), kShareAll, false);
    ASSERT_NE(truncated, INVALID_HANDLE_VALUE);
    writeX(truncated);
    EXPECT_EQ(test::ReadFile(file), "x");

    EXPECT_EQ(OpenLogFile((folder / L"missing" / L"open.log").wstring(), kShareAll, true),
              INVALID_HANDLE_VALUE);
}

TEST(LoggingOpenLogFile, RefusesAFileWithTwoHardLinks)
{
    test::TempFolder folder;
    const auto file = folder / L"target.log";
    const auto link = folder / L"link.log";
    WriteText(file, "keep");
    ASSERT_TRUE(CreateHardLinkW(link.c_str(), file.c_str(), nullptr)) << GetLastError();

    EXPECT_EQ(OpenLogFile(link.wstring(), kShareAll, false), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenLogFile(file.wstring(), kShareAll, false), INVALID_HANDLE_VALUE);
    EXPECT_EQ(test::ReadFile(file), "keep");  // not truncated through either name

    // A rotating sink on the link writes nothing, and throws nothing.
    {
        Logger logger;
        logger.SetLevel(logging::Debug);
        logger.Enable(true);
        logger.SetRotatingFileSink(link.wstring(), logging::Debug, 1);
        logger.Log(logging::Error, "dropped");
    }
    EXPECT_EQ(test::ReadFile(file), "keep");
}

TEST(LoggingOpenLogFile, RefusesASymbolicLink)
{
    test::TempFolder folder;
    const auto file = folder / L"target.log";
    const auto link = folder / L"symlink.log";
    WriteText(file, "keep");
    CreateSymbolicLinkW(link.c_str(), file.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    if (GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "the system made no symbolic link (Wine makes none)";

    EXPECT_EQ(OpenLogFile(link.wstring(), kShareAll, false), INVALID_HANDLE_VALUE);
    EXPECT_EQ(test::ReadFile(file), "keep");
}

TEST(LoggingCommitFile, MovesTheSourceOntoTheTarget)
{
    test::TempFolder folder;
    const auto source = folder / L"source.log";
    const auto target = folder / L"target.log";

    WriteText(source, "first");
    CommitFile(source.wstring(), target.wstring());  // no target yet
    EXPECT_FALSE(std::filesystem::exists(source));
    EXPECT_EQ(test::ReadFile(target), "first");

    WriteText(source, "second");
    CommitFile(source.wstring(), target.wstring());  // replaces the target
    EXPECT_FALSE(std::filesystem::exists(source));
    EXPECT_EQ(test::ReadFile(target), "second");
}

TEST(LoggingCommitFile, ReturnsWhenThereIsNoSource)
{
    test::TempFolder folder;
    const auto target = folder / L"target.log";
    WriteText(target, "kept");
    EXPECT_NO_THROW(CommitFile((folder / L"missing.log").wstring(), target.wstring()));
    EXPECT_NO_THROW(
        CommitFile((folder / L"no-folder" / L"missing.log").wstring(), target.wstring()));
    EXPECT_EQ(test::ReadFile(target), "kept");
}

TEST(LoggingCommitFile, ThrowsWhenTheSourceStaysLocked)
{
    test::TempFolder folder;
    const auto source = folder / L"source.log";
    const auto target = folder / L"target.log";
    WriteText(source, "stays");
    WriteText(target, "kept");
    // Held without FILE_SHARE_DELETE, the source can be neither moved nor swapped in.
    HANDLE held = CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    try {
        CommitFile(source.wstring(), target.wstring());
        ADD_FAILURE() << "a locked source was committed";
    } catch (const std::system_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("Failed to commit " + source.string() + " to " +
                                            target.string()));
        EXPECT_EQ(error.code().value(), ERROR_SHARING_VIOLATION);
    }
    CloseHandle(held);
    EXPECT_EQ(test::ReadFile(source), "stays");
    EXPECT_EQ(test::ReadFile(target), "kept");
}

struct RotateCase {
    const char* name;
    std::wstring folder;
    std::wstring file;
    std::wstring first;
    std::wstring fifth;
};

void PrintTo(const RotateCase& c, std::ostream* out)
{
    *out << c.name;
}

class LoggingRotateLogFiles : public ::testing::TestWithParam<RotateCase> {};

TEST_P(LoggingRotateLogFiles, ShiftsFiveAndStartsAnEmptyFile)
{
    const RotateCase& c = GetParam();
    test::TempFolder temp;
    const auto folder = temp / c.folder;
    std::filesystem::create_directories(folder);
    const auto path = folder / c.file;
    const auto numbered = [&](int n) {
        std::wstring name = c.first;
        name.replace(name.find(L'1'), 1, std::to_wstring(n));
        return folder / name;
    };
    ASSERT_EQ(numbered(5), folder / c.fifth);
    WriteText(path, "current");
    for (int n = 1; n <= 5; ++n)
        WriteText(numbered(n), "old" + std::to_string(n));

    HANDLE handle = OpenLogFile(path.wstring(), kShareAll, true);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    RotateLogFiles(path.wstring(), handle, kShareAll);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(handle, "new", 3, &written, nullptr));
    CloseHandle(handle);

    EXPECT_EQ(test::ReadFile(path), "new");
    EXPECT_EQ(test::ReadFile(numbered(1)), "current");
    for (int n = 2; n <= 5; ++n)
        EXPECT_EQ(test::ReadFile(numbered(n)), "old" + std::to_string(n - 1)) << n;
    EXPECT_FALSE(std::filesystem::exists(numbered(6)));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              6);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LoggingRotateLogFiles,
    ::testing::Values(RotateCase{"Extension", L"logs", L"app.log", L"app.1.log", L"app.5.log"},
                      RotateCase{"NoExtension", L"logs", L"app", L"app.1", L"app.5"},
                      RotateCase{"DotInFolderOnly", L"logs.d", L"app", L"app.1", L"app.5"},
                      RotateCase{"TwoDots", L"logs", L"app.x.log", L"app.x.1.log",
                                 L"app.x.5.log"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Rotating and queued file sinks

TEST(LoggingRotatingSink, RotatesOnceTheFilePassesTheMaximum)
{
    test::TempFolder folder;
    const auto path = folder / L"app.log";
    const auto first = folder / L"app.1.log";
    // A line is 49 bytes here: the second one passes 70.
    {
        Logger logger;
        logger.SetLevel(logging::Debug);
        logger.Enable(true);
        logger.SetRotatingFileSink(path.wstring(), logging::Info, 70);
        logger.Log(logging::Info, "one");
        logger.Log(logging::Debug, "below the sink's minimum");
        EXPECT_FALSE(std::filesystem::exists(first));
        logger.Log(logging::Info, "two");
        EXPECT_TRUE(std::filesystem::exists(first));
        EXPECT_EQ(std::filesystem::file_size(path), 0u);
        logger.Log(logging::Warning, "three");
    }
    const std::vector<std::string> rotated = Lines(test::ReadFile(first));
    ASSERT_EQ(rotated.size(), 2u);
    EXPECT_THAT(rotated[0], MatchesEcmaRegex(std::string(kFileTime) + Ids() + " Info one"));
    EXPECT_THAT(rotated[1], MatchesEcmaRegex(std::string(kFileTime) + Ids() + " Info two"));
    const std::vector<std::string> current = Lines(test::ReadFile(path));
    ASSERT_EQ(current.size(), 1u);
    EXPECT_THAT(current[0], MatchesEcmaRegex(std::string(kFileTime) + Ids() + " Warning three"));
}

TEST(LoggingRotatingSink, KeepsFiveRotatedFilesAndDropsTheOldest)
{
    test::TempFolder folder;
    const auto path = folder / L"app.log";
    const auto numbered = [&](int n) { return folder / (L"app." + std::to_wstring(n) + L".log"); };
    WriteText(path, "current\r\n");
    for (int n = 1; n <= 5; ++n)
        WriteText(numbered(n), "old" + std::to_string(n));
    {
        Logger logger;
        logger.SetLevel(logging::Debug);
        logger.Enable(true);
        logger.SetRotatingFileSink(path.wstring(), logging::Debug, 10);
        logger.Log(logging::Error, "appended, then rotated");
    }
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    const std::vector<std::string> first = Lines(test::ReadFile(numbered(1)));
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0], "current");
    EXPECT_THAT(first[1], HasSubstr("] Error appended, then rotated"));
    for (int n = 2; n <= 5; ++n)
        EXPECT_EQ(test::ReadFile(numbered(n)), "old" + std::to_string(n - 1)) << n;
    EXPECT_FALSE(std::filesystem::exists(numbered(6)));
}

TEST(LoggingRotatingSink, AFailedRotationThrowsFromLogButNotFromAStatement)
{
    test::TempFolder folder;
    const auto path = folder / L"app.log";
    // Shared for reading and writing, so the sink opens the file; not for deleting, so the
    // rotation cannot move it away.
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    {
        Logger logger;
        logger.SetLevel(logging::Debug);
        logger.Enable(true);
        logger.SetRotatingFileSink(path.wstring(), logging::Debug, 10);
        EXPECT_THROW(logger.Log(logging::Info, "first"), std::system_error);

        Logger*& current = logging::CurrentLogger();
        Logger* const previous = current;
        current = &logger;
        EXPECT_NO_THROW(HALVLIB_LOG(logging::Info) << "second");
        current = previous;
    }
    CloseHandle(held);
    const std::vector<std::string> lines = Lines(test::ReadFile(path));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], HasSubstr("] Info first"));
    EXPECT_THAT(lines[1], HasSubstr("] Info second"));
}

TEST(LoggingQueuedSink, HoldsEveryLineInOrderOnceTheLoggerIsGone)
{
    test::TempFolder folder;
    const auto path = folder / L"queued.log";
    WriteText(path, "earlier run\r\n");
    constexpr int kLines = 500;
    {
        Logger logger;
        logger.SetLevel(logging::Debug);
        logger.Enable(true);
        logger.SetQueuedFileSink(path.wstring(), logging::Info);
        for (int i = 0; i < kLines; ++i)
            logger.Log(i % 2 == 0 ? logging::Info : logging::Debug, "line " + std::to_string(i));
    }
    const std::vector<std::string> lines = Lines(test::ReadFile(path));
    ASSERT_EQ(lines.size(), 1u + kLines / 2);
    EXPECT_EQ(lines[0], "earlier run");
    for (int i = 0; i < kLines / 2; ++i)
        ASSERT_THAT(lines[1 + i], MatchesEcmaRegex(std::string(kFileTime) + Ids() + " Info line " +
                                                   std::to_string(2 * i)));
}

TEST(LoggingQueuedSink, LinesFromManyThreadsAllArrive)
{
    test::TempFolder folder;
    const auto path = folder / L"threads.log";
    constexpr int kThreads = 4;
    constexpr int kPerThread = 100;
    {
        Logger logger;
        logger.SetLevel(logging::Debug);
        logger.Enable(true);
        logger.SetQueuedFileSink(path.wstring(), logging::Debug);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&logger, t] {
                for (int i = 0; i < kPerThread; ++i)
                    logger.Log(logging::Info, formatString("t%d %d", t, i));
            });
        for (std::thread& thread : threads)
            thread.join();
    }
    const std::vector<std::string> lines = Lines(test::ReadFile(path));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kPerThread));
    // Each thread's lines keep their order.
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(line.c_str() + line.find("Info t"), "Info t%d %d", &t, &i), 2) << line;
        ASSERT_EQ(i, next[t]++) << line;
    }
}

// ---------------------------------------------------------------------------------------------
// Log statements

int sideEffects = 0;

int SideEffect()
{
    return ++sideEffects;
}

TEST(LoggingStream, InsertionsRunOnlyWhenTheLevelIsKept)
{
    RecordingLogger log(logging::Warning);
    logging::Logger*& current = logging::CurrentLogger();
    logging::Logger* previous = current;
    current = &log.logger;
    sideEffects = 0;

    HALVLIB_LOG(logging::Debug) << "debug " << SideEffect();
    HALVLIB_LOG(logging::Info) << "info " << SideEffect();
    EXPECT_EQ(sideEffects, 0);
    HALVLIB_LOG(logging::Warning) << "warning " << SideEffect();
    EXPECT_EQ(sideEffects, 1);
    HALVLIB_LOG(logging::Error) << "";  // empty text: nothing logged

    current = previous;
    EXPECT_THAT(log.texts, ElementsAre("warning 1"));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].level, logging::Warning);
}

TEST(LoggingStream, AStatementFitsAnUnbracedIfElse)
{
    test::CapturingLogger capture;
    for (const bool flag : {true, false})
        if (flag)
            HALVLIB_LOG(logging::Warning) << "then";
        else
            HALVLIB_LOG(logging::Error) << "else";
    EXPECT_THAT(capture.Entries(),
                ElementsAre(Pair(logging::Warning, "then"), Pair(logging::Error, "else")));
}

TEST(LoggingStream, Inserters)
{
    test::CapturingLogger capture;
    const char* nullText = nullptr;
    const wchar_t* nullWide = nullptr;
    HALVLIB_LOG(logging::Debug) << nullText << "|" << nullWide << "|" << std::wstring(L"caf\u00e9")
                                << "|" << L"\u4e2d" << "|" << std::string("s") << "|"
                                << std::string_view("view") << "|" << 'c' << "|" << true << "|"
                                << false;
    HALVLIB_LOG(logging::Info) << std::int8_t{-5} << " " << std::uint8_t{200} << " "
                               << std::numeric_limits<std::int16_t>::min() << " "
                               << std::numeric_limits<std::uint16_t>::max() << " "
                               << std::numeric_limits<std::int32_t>::min() << " "
                               << std::numeric_limits<std::uint32_t>::max() << " " << -7L << " "
                               << DWORD{4000000000u} << " "
                               << std::numeric_limits<std::int64_t>::min() << " "
                               << std::numeric_limits<std::uint64_t>::max() << " "
                               << std::size_t{12};
    HALVLIB_LOG(logging::Warning).appendFormat("%d-%s-%04x", 7, "x", 0xbeefu) << " tail";
    HALVLIB_LOG(logging::Error) << "before " << logging::LogStream(nullptr, 0).done;
    EXPECT_THAT(capture.Entries(),
                ElementsAre(Pair(logging::Debug, "<<null>>|<<null>>|caf\xc3\xa9|\xe4\xb8\xad|s|"
                                                 "view|c|true|false"),
                            Pair(logging::Info, "-5 200 -32768 65535 -2147483648 4294967295 -7 "
                                                "4000000000 -9223372036854775808 "
                                                "18446744073709551615 12"),
                            Pair(logging::Warning, "7-x-beef tail"),
                            Pair(logging::Error, "before true")));
    EXPECT_THAT(capture.Texts(logging::Warning), ElementsAre("7-x-beef tail"));
    EXPECT_TRUE(capture.Texts(logging::Always).empty());
}

TEST(LoggingStream, CapturingLoggerRestoresThePreviousLogger)
{
    Logger* before = logging::GetLogger();
    {
        test::CapturingLogger outer;
        {
            test::CapturingLogger inner;
            HALVLIB_LOG(logging::Info) << "inner";
            EXPECT_THAT(inner.Texts(logging::Info), ElementsAre("inner"));
        }
        EXPECT_EQ(logging::GetLogger(), outer.Logger());
        HALVLIB_LOG(logging::Info) << "outer";
        EXPECT_THAT(outer.Texts(logging::Info), ElementsAre("outer"));
    }
    EXPECT_EQ(logging::GetLogger(), before);
}

// ---------------------------------------------------------------------------------------------
// formatString

TEST(LoggingFormatString, FormatsLikePrintf)
{
    EXPECT_EQ(formatString("%s", ""), "");
    EXPECT_EQ(formatString("%d %s %5.1f|%-3c|%%", -12, "str", 2.5, 'x'), "-12 str   2.5|x  |%");
    EXPECT_EQ(formatString("%lld %llu %zu", LLONG_MIN, ULLONG_MAX, std::size_t{7}),
              "-9223372036854775808 18446744073709551615 7");
    const std::string big(10000, 'a');
    EXPECT_EQ(formatString("<%s>", big.c_str()), "<" + big + ">");
}

}  // namespace
