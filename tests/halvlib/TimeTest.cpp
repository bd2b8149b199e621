#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "halvlib/Time.h"

using halvlib::time::GmTime;
using halvlib::time::ToTimePoint;

namespace {

constexpr std::uint64_t kEpoch1970 = 116'444'736'000'000'000ull;

TEST(ToTimePoint, EpochAndNeighbours)
{
    using namespace std::chrono;
    EXPECT_EQ(ToTimePoint(kEpoch1970), system_clock::time_point());
    EXPECT_EQ(ToTimePoint(kEpoch1970 + 1), system_clock::time_point(nanoseconds(100)));
    // Before 1970 is a point before the clock's epoch, not an error.
    EXPECT_EQ(ToTimePoint(kEpoch1970 - 10'000'000), system_clock::time_point(seconds(-1)));
}

TEST(ToTimePoint, OutsideTheClocksRangeThrows)
{
    // 2024-05-01 fits; the year 9999 and 1601 do not fit a nanosecond clock.
    EXPECT_NO_THROW(ToTimePoint(133'590'000'000'000'000ull));
    EXPECT_THROW(ToTimePoint(2'650'467'743'999'999'999ull), std::out_of_range);
    EXPECT_THROW(ToTimePoint(0), std::out_of_range);
    EXPECT_THROW(ToTimePoint(~0ull), std::out_of_range);
}

TEST(GmTime, CalendarFields)
{
    const std::tm t = GmTime(1'714'554'942);  // 2024-05-01 09:15:42
    EXPECT_EQ(t.tm_year, 124);
    EXPECT_EQ(t.tm_mon, 4);
    EXPECT_EQ(t.tm_mday, 1);
    EXPECT_EQ(t.tm_hour, 9);
    EXPECT_EQ(t.tm_min, 15);
    EXPECT_EQ(t.tm_sec, 42);
    EXPECT_THROW(GmTime(-1'000'000'000'000), std::runtime_error);
}

}  // namespace
