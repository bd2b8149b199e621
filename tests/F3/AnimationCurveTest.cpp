#include <windows.h>

#include <comdef.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "F3/Animated.h"
#include "F3/IStoryboard.h"
#include "support/AnimationTestEngine.h"
#include "support/CapturingLogger.h"

namespace F3 {
namespace {

using Build = std::function<void(IStoryboard&, Animated<float>&)>;

struct CurveCase {
    std::string name;
    Build build;
    std::vector<std::pair<double, float>> points;  // time since the storyboard's start, value
};

void PrintTo(const CurveCase& c, std::ostream* out) { *out << c.name; }

const Animated<float> hundred(100.0f);

class AnimationCurveTest : public testing::TestWithParam<CurveCase> {};

// Every curve from 0 to 100, read at its start, inside and at and after its end.
TEST_P(AnimationCurveTest, FollowsItsCurve)
{
    test::AnimationTestEngine engine;
    Animated<float> value(0.0f);
    auto storyboard = engine.Storyboard();
    GetParam().build(*storyboard, value);
    storyboard->Schedule(0.0);
    for (const auto& [time, expected] : GetParam().points) {
        engine.UpdateAt(time);
        EXPECT_NEAR(value.Get(), expected, 1e-3) << "at " << time;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Curves, AnimationCurveTest,
    testing::Values(
        CurveCase{"Instant", [](IStoryboard& s, Animated<float>& v) { s.Instant(v, hundred); }, {{0.0, 100}, {1.0, 100}}},
        CurveCase{"Linear",
                  [](IStoryboard& s, Animated<float>& v) { s.Linear(v, hundred, 1.0); },
                  {{0.0, 0}, {0.25, 25}, {0.5, 50}, {1.0, 100}, {2.0, 100}}},
        CurveCase{"LinearSpeed",
                  [](IStoryboard& s, Animated<float>& v) { s.LinearSpeed(v, hundred, 50.0); },
                  {{0.0, 0}, {1.0, 50}, {2.0, 100}, {3.0, 100}}},
        CurveCase{"CubicFromRest",
                  [](IStoryboard& s, Animated<float>& v) { s.Cubic(v, hundred, 1.0, 0.0); },
                  {{0.0, 0}, {0.25, 15.625f}, {0.5, 50}, {1.0, 100}}},
        CurveCase{"CubicWithFinalVelocity",
                  [](IStoryboard& s, Animated<float>& v) { s.Cubic(v, hundred, 1.0, 50.0); },
                  {{0.0, 0}, {0.25, 13.28125f}, {0.5, 43.75f}, {1.0, 100}}},
        // The linear part moves at 100 per second; the reversal turns it back to where it began.
        CurveCase{"Reversal",
                  [](IStoryboard& s, Animated<float>& v) { s.Linear(v, hundred, 1.0).At(0.5).Reversal(v, 1.0); },
                  {{0.0, 0}, {0.5, 50}, {1.0, 75}, {1.5, 50}, {2.0, 50}}},
        CurveCase{"SmoothStopFromRest",
                  [](IStoryboard& s, Animated<float>& v) { s.SmoothStop(v, hundred, 2.0); },
                  {{0.0, 0}, {0.5, 15.625f}, {1.0, 50}, {2.0, 100}}},
        // Coming in at 100 per second, 50 short of the target: one arc of 1 s comes to rest on it.
        CurveCase{"SmoothStopWhileMoving",
                  [](IStoryboard& s, Animated<float>& v) { s.Linear(v, hundred, 1.0).At(0.5).SmoothStop(v, hundred, 5.0); },
                  {{0.5, 50}, {1.0, 87.5f}, {1.5, 100}, {3.0, 100}}},
        // Arriving too late within the maximum duration, it ends on the target at that duration.
        CurveCase{"SmoothStopCappedByMaximum",
                  [](IStoryboard& s, Animated<float>& v) { s.Linear(v, hundred, 1.0).At(0.5).SmoothStop(v, hundred, 0.5); },
                  {{0.5, 50}, {1.0, 100}}},
        CurveCase{"AccelerateDecelerate",
                  [](IStoryboard& s, Animated<float>& v) { s.AccelerateDecelerate(v, hundred, 1.0, 0.25, 0.25); },
                  {{0.0, 0}, {0.25, 16.6667f}, {0.5, 50}, {0.75, 83.3333f}, {1.0, 100}}}),
    [](const testing::TestParamInfo<CurveCase>& info) { return info.param.name; });

struct DurationCase {
    std::string name;
    Build build;
    double end;  // when the transition added last ends
};

void PrintTo(const DurationCase& c, std::ostream* out) { *out << c.name; }

class AnimationDurationTest : public testing::TestWithParam<DurationCase> {};

// A flag set by Then after the transition shows when the transition ended.
TEST_P(AnimationDurationTest, ThenStartsAtTheEnd)
{
    test::AnimationTestEngine engine;
    Animated<float> value(0.0f);
    Animated<int> done(0);
    auto storyboard = engine.Storyboard();
    GetParam().build(*storyboard, value);
    storyboard->Then().Instant(done, Animated<int>(1)).Schedule(0.0);
    const double end = GetParam().end;
    if (end > 0) {
        engine.UpdateAt(end - 0.01);
        EXPECT_EQ(done.Get(), 0);
    }
    engine.UpdateAt(end);
    EXPECT_EQ(done.Get(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Durations, AnimationDurationTest,
    testing::Values(
        DurationCase{"Instant", [](IStoryboard& s, Animated<float>& v) { s.Instant(v, hundred); }, 0.0},
        DurationCase{"Linear", [](IStoryboard& s, Animated<float>& v) { s.Linear(v, hundred, 1.5); }, 1.5},
        DurationCase{"LinearSpeedFromDistance",
                     [](IStoryboard& s, Animated<float>& v) { s.LinearSpeed(v, hundred, 40.0); }, 2.5},
        DurationCase{"LinearSpeedAlreadyThere",
                     [](IStoryboard& s, Animated<float>& v) { s.LinearSpeed(v, Animated<float>(0.0f), 40.0); }, 0.0},
        DurationCase{"Cubic", [](IStoryboard& s, Animated<float>& v) { s.Cubic(v, hundred, 0.8, 10.0); }, 0.8},
        DurationCase{"Reversal", [](IStoryboard& s, Animated<float>& v) { s.Reversal(v, 0.7); }, 0.7},
        DurationCase{"SmoothStopFromRest",
                     [](IStoryboard& s, Animated<float>& v) { s.SmoothStop(v, hundred, 2.0); }, 2.0},
        DurationCase{"SmoothStopWhileMoving",
                     [](IStoryboard& s, Animated<float>& v) { s.Linear(v, hundred, 1.0).At(0.5).SmoothStop(v, hundred, 5.0); },
                     1.5},
        DurationCase{"AccelerateDecelerate",
                     [](IStoryboard& s, Animated<float>& v) { s.AccelerateDecelerate(v, hundred, 1.2, 0.5, 0.5); },
                     1.2}),
    [](const testing::TestParamInfo<DurationCase>& info) { return info.param.name; });

struct RefusedCase {
    std::string name;
    Build build;
};

void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }

class AnimationRefusedTransitionTest : public testing::TestWithParam<RefusedCase> {};

// Numbers no transition can be made of throw and leave the value as it was.
TEST_P(AnimationRefusedTransitionTest, ThrowsAndLogs)
{
    test::CapturingLogger log;
    test::AnimationTestEngine engine;
    Animated<float> value(3.0f);
    auto storyboard = engine.Storyboard();
    try {
        GetParam().build(*storyboard, value);
        FAIL() << "no exception";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_INVALIDARG);
    }
    EXPECT_EQ(log.Texts(halvlib::logging::Error),
              std::vector<std::string>{"Animation: failed to create transition 0x80070057"});
    EXPECT_FALSE(value.Variable());
    EXPECT_EQ(value.Get(), 3.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Refused, AnimationRefusedTransitionTest,
    testing::Values(
        RefusedCase{"NegativeDuration", [](IStoryboard& s, Animated<float>& v) { s.Linear(v, hundred, -1.0); }},
        RefusedCase{"ZeroSpeed", [](IStoryboard& s, Animated<float>& v) { s.LinearSpeed(v, hundred, 0.0); }},
        RefusedCase{"RatiosOverOne",
                    [](IStoryboard& s, Animated<float>& v) { s.AccelerateDecelerate(v, hundred, 1.0, 0.6, 0.6); }},
        RefusedCase{"NegativeRatio",
                    [](IStoryboard& s, Animated<float>& v) { s.AccelerateDecelerate(v, hundred, 1.0, -0.1, 0.5); }}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

}  // namespace
}  // namespace F3
