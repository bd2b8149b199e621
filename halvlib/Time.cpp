#include "halvlib/Time.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace halvlib::time {

namespace {
constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
constexpr std::int64_t kTicksFrom1601To1970 = kSecondsFrom1601To1970 * kTicksPerSecond;
using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, kTicksPerSecond>>;
}  // namespace

std::chrono::system_clock::time_point ToTimePoint(std::uint64_t filetime)
{
    using Clock = std::chrono::system_clock;
    using Period = Clock::duration::period;
    static_assert(Period::num == 1 && Period::den % kTicksPerSecond == 0,
                  "the clock must count a whole fraction of 100 ns");
    constexpr std::int64_t kClockUnitsPerTick = Period::den / kTicksPerSecond;
    constexpr std::int64_t kMaxSeconds = std::numeric_limits<Clock::rep>::max() / Period::den;

    const std::int64_t seconds =
        static_cast<std::int64_t>(filetime / kTicksPerSecond) - kSecondsFrom1601To1970;
    const std::int64_t ticks = static_cast<std::int64_t>(filetime - kTicksFrom1601To1970);
    if (seconds > kMaxSeconds || seconds < -kMaxSeconds ||
        ticks > std::numeric_limits<Clock::rep>::max() / kClockUnitsPerTick ||
        ticks < std::numeric_limits<Clock::rep>::min() / kClockUnitsPerTick)
        throw std::out_of_range(
            "ToTimePoint: FileTimeU64 out of range of std::chrono::system_clock::time_point");
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(Ticks(ticks)));
}

std::tm GmTime(std::int64_t secondsSince1970)
{
    std::tm result{};
    const __time64_t value = secondsSince1970;
    const errno_t error = _gmtime64_s(&result, &value);
    if (error != 0)
        throw std::runtime_error("gmtime_s failed: " + std::to_string(error));
    return result;
}

}  // namespace halvlib::time
