#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "F3/Animated.h"
#include "F3/IStoryboard.h"
#include "support/AnimationTestEngine.h"
#include "support/CapturingLogger.h"

namespace F3 {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class StoryboardTest : public testing::Test {
protected:
    test::CapturingLogger log;
    test::AnimationTestEngine engine;
    Animated<float> a{0.0f};
    Animated<float> b{0.0f};
    Animated<int> flag{0};
};

TEST_F(StoryboardTest, ThenWithoutTransitionThrows)
{
    auto storyboard = engine.Storyboard();
    try {
        storyboard->Then();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Then() requires transition");
    }
}

TEST_F(StoryboardTest, ThenStartsWhenTheLastTransitionEnds)
{
    engine.Storyboard()->Linear(a, Animated<float>(100.0f), 1.0).Then().Instant(flag, Animated<int>(1)).Schedule(0.0);
    engine.UpdateAt(0.0);
    EXPECT_EQ(flag.Get(), 0);
    engine.UpdateAt(0.99);
    EXPECT_EQ(flag.Get(), 0);
    engine.UpdateAt(1.0);
    EXPECT_EQ(flag.Get(), 1);
}

TEST_F(StoryboardTest, ThenAfterCountsFromTheCurrentKeyframe)
{
    engine.Storyboard()
        ->Linear(a, Animated<float>(100.0f), 1.0)
        .Then()
        .ThenAfter(0.5)
        .Instant(flag, Animated<int>(1))
        .Schedule(0.0);
    engine.UpdateAt(1.49);
    EXPECT_EQ(flag.Get(), 0);
    engine.UpdateAt(1.5);
    EXPECT_EQ(flag.Get(), 1);
}

TEST_F(StoryboardTest, AtCountsFromTheStoryboardStart)
{
    engine.now = 10.0;
    engine.Storyboard()
        ->Linear(a, Animated<float>(100.0f), 1.0)
        .Then()
        .At(0.25)
        .Instant(flag, Animated<int>(1))
        .Linear(b, Animated<float>(10.0f), 1.0)
        .Schedule(0.0);
    engine.UpdateAt(10.2);
    EXPECT_EQ(flag.Get(), 0);
    engine.UpdateAt(10.25);
    EXPECT_EQ(flag.Get(), 1);
    EXPECT_NEAR(b.Get(), 0.0f, 1e-4);
    engine.UpdateAt(10.75);
    EXPECT_NEAR(b.Get(), 5.0f, 1e-4);
}

TEST_F(StoryboardTest, RefusedKeyframeKeepsTheCurrentOne)
{
    engine.Storyboard()->At(0.5).ThenAfter(-1.0).Instant(flag, Animated<int>(1)).Schedule(0.0);
    EXPECT_THAT(log.Texts(halvlib::logging::Error), ElementsAre("Animation: failed to add keyframe 0x80070057"));
    engine.UpdateAt(0.49);
    EXPECT_EQ(flag.Get(), 0);
    engine.UpdateAt(0.5);
    EXPECT_EQ(flag.Get(), 1);
}

TEST_F(StoryboardTest, ScheduleLogsAtInfo)
{
    engine.Storyboard()->Instant(flag, Animated<int>(1)).Schedule(0.0);
    EXPECT_THAT(log.Texts(halvlib::logging::Info), ElementsAre("Animation: storyboard scheduled"));
    EXPECT_THAT(log.Texts(halvlib::logging::Error), IsEmpty());
}

// The later storyboard moves a on from where the earlier had it; the earlier one's b goes on.
TEST_F(StoryboardTest, LaterStoryboardTakesTheVariableOver)
{
    auto first = engine.Storyboard();
    first->Linear(a, Animated<float>(100.0f), 2.0).Linear(b, Animated<float>(100.0f), 2.0).Schedule(0.0);
    engine.UpdateAt(1.0);
    EXPECT_NEAR(a.Get(), 50.0f, 1e-4);

    auto second = engine.Storyboard();
    second->Linear(a, Animated<float>(0.0f), 1.0).Schedule(0.0);
    engine.UpdateAt(1.5);
    EXPECT_NEAR(a.Get(), 25.0f, 1e-4);
    EXPECT_NEAR(b.Get(), 75.0f, 1e-4);
    engine.UpdateAt(2.0);
    EXPECT_NEAR(a.Get(), 0.0f, 1e-4);
    EXPECT_NEAR(b.Get(), 100.0f, 1e-4);
    engine.UpdateAt(3.0);
    EXPECT_NEAR(a.Get(), 0.0f, 1e-4);
    EXPECT_TRUE(engine.Idle());
}

// From its start the later storyboard holds the variable, even before its own transition begins.
TEST_F(StoryboardTest, TakenOverVariableHoldsUntilTheNewTransitionStarts)
{
    engine.Storyboard()->Linear(a, Animated<float>(100.0f), 2.0).Schedule(0.0);
    engine.UpdateAt(1.0);
    engine.Storyboard()->At(0.5).Linear(a, Animated<float>(0.0f), 1.0).Schedule(0.0);
    engine.UpdateAt(1.25);
    EXPECT_NEAR(a.Get(), 50.0f, 1e-4);
    engine.UpdateAt(2.0);
    EXPECT_NEAR(a.Get(), 25.0f, 1e-4);
    engine.UpdateAt(2.5);
    EXPECT_NEAR(a.Get(), 0.0f, 1e-4);
}

TEST_F(StoryboardTest, UpdatePastTheEndDeliversTheFinalValues)
{
    engine.Storyboard()
        ->Linear(a, Animated<float>(100.0f), 1.0)
        .Cubic(b, Animated<float>(40.0f), 0.5, 30.0)
        .Then()
        .Instant(flag, Animated<int>(7))
        .Schedule(0.0);
    engine.UpdateAt(0.3);
    EXPECT_TRUE(engine.UpdateAt(25.0));
    EXPECT_EQ(a.Get(), 100.0f);
    EXPECT_EQ(b.Get(), 40.0f);
    EXPECT_EQ(flag.Get(), 7);
    EXPECT_TRUE(engine.Idle());
    EXPECT_FALSE(engine.UpdateAt(26.0));
    EXPECT_EQ(a.Get(), 100.0f);
}

TEST_F(StoryboardTest, UpdateIsFalseWhenNothingMoves)
{
    EXPECT_FALSE(engine.UpdateAt(0.0));
    EXPECT_TRUE(engine.Idle());
    engine.Storyboard()->Instant(flag, Animated<int>(1)).Schedule(1.0);
    EXPECT_FALSE(engine.Idle());
    EXPECT_FALSE(engine.UpdateAt(0.5));
    EXPECT_EQ(flag.Get(), 0);
    EXPECT_TRUE(engine.UpdateAt(1.0));
    EXPECT_EQ(flag.Get(), 1);
    EXPECT_FALSE(engine.UpdateAt(1.5));
}

// Scheduling a playing storyboard abandons it; it starts over at the time plus the delay, from
// the value reached.
TEST_F(StoryboardTest, PlayingStoryboardStartsOverAfterTheDelay)
{
    auto storyboard = engine.Storyboard();
    storyboard->Linear(a, Animated<float>(100.0f), 1.0).Schedule(0.0);
    engine.UpdateAt(0.5);
    ASSERT_NEAR(a.Get(), 50.0f, 1e-4);

    storyboard->Schedule(0.25);
    engine.UpdateAt(0.7);
    EXPECT_NEAR(a.Get(), 50.0f, 1e-4);
    engine.UpdateAt(1.25);
    EXPECT_NEAR(a.Get(), 75.0f, 1e-4);
    engine.UpdateAt(1.75);
    EXPECT_NEAR(a.Get(), 100.0f, 1e-4);
    EXPECT_THAT(log.Texts(halvlib::logging::Info),
                ElementsAre("Animation: storyboard scheduled", "Animation: storyboard scheduled"));
    EXPECT_THAT(log.Texts(halvlib::logging::Error), IsEmpty());
}

// A button's storyboards are built once and played again and again.
TEST_F(StoryboardTest, EndedStoryboardPlaysAgainFromTheValueThen)
{
    auto hover = engine.Storyboard();
    auto normal = engine.Storyboard();
    hover->Linear(a, Animated<float>(100.0f), 1.0);
    normal->Instant(a, Animated<float>(20.0f));
    hover->Schedule(0.0);
    engine.UpdateAt(2.0);
    normal->Schedule(0.0);
    engine.UpdateAt(3.0);
    EXPECT_NEAR(a.Get(), 20.0f, 1e-4);
    hover->Schedule(0.0);
    engine.UpdateAt(3.5);
    EXPECT_NEAR(a.Get(), 60.0f, 1e-4);
    EXPECT_THAT(log.Texts(halvlib::logging::Error), IsEmpty());
}

// Hover, leave and hover again before the next tick: the first hover never played, so it plays
// from the value the leave gave.
TEST_F(StoryboardTest, StoryboardTakenOverBeforeItStartedCanBeScheduledAgain)
{
    auto hover = engine.Storyboard();
    auto normal = engine.Storyboard();
    hover->Linear(a, Animated<float>(100.0f), 1.0);
    normal->Instant(a, Animated<float>(20.0f));
    hover->Schedule(0.0);
    normal->Schedule(0.0);
    hover->Schedule(0.0);
    EXPECT_THAT(log.Texts(halvlib::logging::Error), IsEmpty());
    engine.UpdateAt(0.5);
    EXPECT_NEAR(a.Get(), 60.0f, 1e-4);
    engine.UpdateAt(1.0);
    EXPECT_NEAR(a.Get(), 100.0f, 1e-4);
    EXPECT_TRUE(engine.Idle());
}

TEST_F(StoryboardTest, ReleasedStoryboardKeepsPlaying)
{
    auto storyboard = engine.Storyboard();
    storyboard->Linear(a, Animated<float>(100.0f), 1.0).Schedule(0.0);
    storyboard.reset();
    engine.UpdateAt(0.5);
    EXPECT_NEAR(a.Get(), 50.0f, 1e-4);
    engine.UpdateAt(1.0);
    EXPECT_NEAR(a.Get(), 100.0f, 1e-4);
}

TEST_F(StoryboardTest, ReleasedBuilderTakesNoTransition)
{
    auto storyboard = engine.Storyboard();
    storyboard->Instant(flag, Animated<int>(1)).ReleaseBuilder();
    EXPECT_THROW(storyboard->Instant(flag, Animated<int>(2)), std::logic_error);
    EXPECT_THROW(storyboard->Then(), std::runtime_error);
    storyboard->Schedule(0.0);
    engine.UpdateAt(0.0);
    EXPECT_EQ(flag.Get(), 1);
}

TEST_F(StoryboardTest, TargetOfAnotherTypeIsRefused)
{
    auto storyboard = engine.Storyboard();
    EXPECT_THROW(storyboard->Instant(flag, Animated<Gdiplus::Color>(Gdiplus::Color(1, 2, 3, 4))),
                 std::invalid_argument);
    EXPECT_FALSE(flag.Variable());
}

// Outliving the manager, a value keeps what it last read.
TEST_F(StoryboardTest, ValueOutlivesTheManager)
{
    engine.Storyboard()->Linear(a, Animated<float>(100.0f), 1.0).Schedule(0.0);
    engine.UpdateAt(0.5);
    engine.animation.reset();
    EXPECT_NEAR(a.Get(), 50.0f, 1e-4);
}

}  // namespace
}  // namespace F3
