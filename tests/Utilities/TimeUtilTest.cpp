#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "Utilities/TimeUtil.h"

using namespace utilities;

namespace {

template <std::size_t N>
std::string Text(const std::array<char, N>& value)
{
    return std::string(value.begin(), value.end());
}

struct TimeCase {
    const char* name;
    std::uint64_t filetime;
    const char* fileName;
    const char* iso;
};

void PrintTo(const TimeCase& c, std::ostream* out)
{
    *out << c.name;
}


class TimeFormats : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeFormats, BothForms)
{
    EXPECT_EQ(Text(as_utc_yyyyMMdd_HHmmss(GetParam().filetime)), GetParam().fileName);
    EXPECT_EQ(Text(as_utc_iso8601(GetParam().filetime)), GetParam().iso);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, TimeFormats,
    ::testing::Values(
        TimeCase{"Epoch1970", 116'444'736'000'000'000ull, "19700101_000000", "1970-01-01T00:00:00.0000000Z"},
        TimeCase{"FractionDigits", 133'590'285'421'234'567ull, "20240501_091542", "2024-05-01T09:15:42.1234567Z"},
        TimeCase{"FirstFileTime", 0, "16010101_000000", "1601-01-01T00:00:00.0000000Z"},
        TimeCase{"LeapDay", 116'444'736'000'000'000ull + 951'782'400ull * 10'000'000, "20000229_000000",
                 "2000-02-29T00:00:00.0000000Z"},
        TimeCase{"LastOf9999", 2'650'467'743'999'999'999ull, "99991231_235959", "9999-12-31T23:59:59.9999999Z"}),
    [](const auto& info) { return info.param.name; });

TEST(TimeFormats, YearsPast9999DoNotFit)
{
    const std::uint64_t year10000 = 2'650'467'744'000'000'000ull;
    try {
        as_utc_yyyyMMdd_HHmmss(year10000);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Result size doesn't match output");
    }
    EXPECT_THROW(as_utc_iso8601(year10000), std::runtime_error);
}

TEST(TimeFormats, RejectedFileTimeNamesTheSystemError)
{
    try {
        as_utc_iso8601(0x8000000000000000ull);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("FileTimeToSystemTime failed: ", 0), 0u) << e.what();
        EXPECT_GT(std::stoul(std::string(e.what()).substr(29)), 0ul) << e.what();
    }
}

TEST(TimeFormats, NowIsUtc)
{
    SYSTEMTIME before;
    GetSystemTime(&before);
    const std::string stamp = Text(as_utc_yyyyMMdd_HHmmss(now_as_filetime()));
    EXPECT_EQ(std::stoi(stamp.substr(0, 4)), before.wYear);
    EXPECT_EQ(stamp[8], '_');
}

}  // namespace
