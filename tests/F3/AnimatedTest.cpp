#include <windows.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "F3/Animated.h"
#include "F3/IStoryboard.h"
#include "support/AnimationTestEngine.h"

namespace F3 {
namespace {

using testing::ElementsAre;

// Components as a test sets them.
class FakeVariable : public IAnimatedVariable {
public:
    explicit FakeVariable(std::vector<float> components) : components(std::move(components)) {}
    std::vector<float> Read() override { return components; }
    bool HasChanged() override { return false; }
    std::vector<float> components;
};

TEST(AnimatedTest, ComponentsByType)
{
    EXPECT_THAT(Animated<int>(7).TargetComponents(), ElementsAre(7));
    EXPECT_THAT(Animated<int>(7).InitialComponents(), ElementsAre(7.0f));
    EXPECT_THAT(Animated<float>(2.9f).TargetComponents(), ElementsAre(2));
    EXPECT_THAT(Animated<float>(-2.9f).TargetComponents(), ElementsAre(-2));
    EXPECT_THAT(Animated<float>(2.9f).InitialComponents(), ElementsAre(2.9f));
    const Animated<Gdiplus::Color> colour(Gdiplus::Color(10, 20, 30, 40));
    EXPECT_THAT(colour.TargetComponents(), ElementsAre(10, 20, 30, 40));
    EXPECT_THAT(colour.InitialComponents(), ElementsAre(10.0f, 20.0f, 30.0f, 40.0f));
}

TEST(AnimatedTest, PlainUntilAnimated)
{
    Animated<int> value(3);
    EXPECT_EQ(value.Get(), 3);
    value = 5;
    EXPECT_EQ(static_cast<int>(value), 5);
    EXPECT_FALSE(value.HasChanged());
}

TEST(AnimatedTest, ReadsComponentsBackByType)
{
    Animated<int> whole(0);
    whole.SetVariable(std::make_shared<FakeVariable>(std::vector<float>{99.99f}));
    EXPECT_EQ(whole.Get(), 99);
    whole.SetVariable(std::make_shared<FakeVariable>(std::vector<float>{-1.5f}));
    EXPECT_EQ(whole.Get(), -1);

    Animated<float> fraction(0.0f);
    fraction.SetVariable(std::make_shared<FakeVariable>(std::vector<float>{0.25f}));
    EXPECT_EQ(fraction.Get(), 0.25f);

    Animated<Gdiplus::Color> colour;
    colour.SetVariable(std::make_shared<FakeVariable>(std::vector<float>{255.0f, 1.9f, 128.5f, 300.0f}));
    EXPECT_EQ(colour.Get().GetValue(), Gdiplus::Color::MakeARGB(255, 1, 128, 255));
}

struct MismatchCase {
    std::string name;
    std::function<void(std::vector<float>)> read;
    std::vector<float> components;
    std::string message;
};

void PrintTo(const MismatchCase& c, std::ostream* out) { *out << c.name; }

class AnimatedMismatchTest : public testing::TestWithParam<MismatchCase> {};

TEST_P(AnimatedMismatchTest, WrongComponentCountThrows)
{
    try {
        GetParam().read(GetParam().components);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(e.what(), GetParam().message);
    }
}

template <typename T>
void Read(std::vector<float> components)
{
    Animated<T> value;
    value.SetVariable(std::make_shared<FakeVariable>(std::move(components)));
    (void)value.Get();
}

INSTANTIATE_TEST_SUITE_P(
    Types, AnimatedMismatchTest,
    testing::Values(MismatchCase{"IntOfTwo", Read<int>, {1.0f, 2.0f}, "Animated variable int type mismatch"},
                    MismatchCase{"IntOfNone", Read<int>, {}, "Animated variable int type mismatch"},
                    MismatchCase{"FloatOfNone", Read<float>, {}, "Animated variable float type mismatch"},
                    MismatchCase{"ColorOfThree", Read<Gdiplus::Color>, {1.0f, 2.0f, 3.0f},
                                 "Animated variable Color type mismatch"},
                    MismatchCase{"ColorOfOne", Read<Gdiplus::Color>, {1.0f}, "Animated variable Color type mismatch"}),
    [](const testing::TestParamInfo<MismatchCase>& info) { return info.param.name; });

class AnimatedEngineTest : public testing::Test {
protected:
    test::AnimationTestEngine engine;
};

TEST_F(AnimatedEngineTest, DirectAssignmentRefusedOnceAnimated)
{
    Animated<int> value(0);
    engine.Storyboard()->Instant(value, Animated<int>(4)).Schedule(0.0);
    engine.UpdateAt(0.0);
    try {
        value = 3;
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Direct assignment to animating variable");
    }
    EXPECT_EQ(value.Get(), 4);

    // A fresh value replaces the animated one altogether.
    value = Animated<int>(7);
    EXPECT_EQ(value.Get(), 7);
    EXPECT_FALSE(value.Variable());
    value = 8;
    EXPECT_EQ(value.Get(), 8);
}

// The target is the whole part of 0.7, the start keeps its fraction.
TEST_F(AnimatedEngineTest, FloatTargetIsTruncatedButStartKeepsItsFraction)
{
    Animated<float> value(2.5f);
    engine.Storyboard()->Linear(value, Animated<float>(0.7f), 1.0).Schedule(0.0);
    engine.UpdateAt(0.0);
    EXPECT_NEAR(value.Get(), 2.5f, 1e-6);
    engine.UpdateAt(0.5);
    EXPECT_NEAR(value.Get(), 1.25f, 1e-6);
    engine.UpdateAt(1.0);
    EXPECT_EQ(value.Get(), 0.0f);

    Animated<float> start(0.7f);
    engine.Storyboard()->Linear(start, Animated<float>(10.0f), 1.0).Schedule(0.0);
    engine.UpdateAt(1.0);
    EXPECT_NEAR(start.Get(), 0.7f, 1e-6);
}

TEST_F(AnimatedEngineTest, ColourAnimatesEachComponent)
{
    Animated<Gdiplus::Color> colour(Gdiplus::Color(0, 0, 200, 0));
    engine.Storyboard()->Linear(colour, Animated<Gdiplus::Color>(Gdiplus::Color(200, 100, 50, 255)), 1.0).Schedule(0.0);
    engine.UpdateAt(0.5);
    EXPECT_EQ(colour.Get().GetValue(), Gdiplus::Color::MakeARGB(100, 50, 125, 127));
    engine.UpdateAt(1.0);
    EXPECT_EQ(colour.Get().GetValue(), Gdiplus::Color::MakeARGB(200, 100, 50, 255));
}

TEST_F(AnimatedEngineTest, HasChangedOnlyAfterAnUpdateThatMovedIt)
{
    Animated<int> moving(0);
    Animated<int> still(5);
    EXPECT_FALSE(moving.HasChanged());
    engine.Storyboard()->Linear(moving, Animated<int>(10), 1.0).Instant(still, Animated<int>(5)).Schedule(0.0);
    engine.UpdateAt(0.5);
    EXPECT_TRUE(moving.HasChanged());
    EXPECT_FALSE(still.HasChanged());
    engine.UpdateAt(1.0);
    EXPECT_TRUE(moving.HasChanged());
    engine.Storyboard()->Instant(still, Animated<int>(6)).Schedule(0.0);
    engine.UpdateAt(1.5);
    EXPECT_FALSE(moving.HasChanged());
    EXPECT_TRUE(still.HasChanged());
}

}  // namespace
}  // namespace F3
