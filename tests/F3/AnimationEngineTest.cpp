#include <windows.h>
#include <uianimation.h>

#include <wrl/client.h>

#include <gtest/gtest.h>

#include "F3/AnimationEngine.h"

namespace F3 {
namespace {

using Microsoft::WRL::ComPtr;

constexpr HRESULT ShutdownCalled = static_cast<HRESULT>(0x802A0002L);
constexpr HRESULT StoryboardActive = static_cast<HRESULT>(0x802A0101L);
constexpr HRESULT TimeBeforeLastUpdate = static_cast<HRESULT>(0x802A0109L);

class AnimationEngineTest : public testing::Test {
protected:
    AnimationEngineTest() : engine(CreateAnimationEngine([this] { return now; })) {}

    ComPtr<IUIAnimationVariable2> Variable(double initial)
    {
        ComPtr<IUIAnimationVariable2> variable;
        EXPECT_EQ(engine.manager->CreateAnimationVariable(initial, variable.GetAddressOf()), S_OK);
        return variable;
    }

    // A storyboard that moves variable linearly to finalValue over duration.
    ComPtr<IUIAnimationStoryboard2> Linear(IUIAnimationVariable2* variable, double finalValue, double duration)
    {
        ComPtr<IUIAnimationStoryboard2> storyboard;
        ComPtr<IUIAnimationTransition2> transition;
        EXPECT_EQ(engine.manager->CreateStoryboard(storyboard.GetAddressOf()), S_OK);
        EXPECT_EQ(engine.library->CreateLinearTransition(duration, finalValue, transition.GetAddressOf()), S_OK);
        EXPECT_EQ(storyboard->AddTransitionAtKeyframe(variable, transition.Get(), UI_ANIMATION_KEYFRAME_STORYBOARD_START),
                  S_OK);
        return storyboard;
    }

    UI_ANIMATION_MANAGER_STATUS ManagerStatus()
    {
        UI_ANIMATION_MANAGER_STATUS status = UI_ANIMATION_MANAGER_IDLE;
        EXPECT_EQ(engine.manager->GetStatus(&status), S_OK);
        return status;
    }

    UI_ANIMATION_STORYBOARD_STATUS Status(IUIAnimationStoryboard2* storyboard)
    {
        UI_ANIMATION_STORYBOARD_STATUS status = UI_ANIMATION_STORYBOARD_BUILDING;
        EXPECT_EQ(storyboard->GetStatus(&status), S_OK);
        return status;
    }

    double now = 0;
    AnimationEngine engine;
};

TEST_F(AnimationEngineTest, TimerReadsItsClock)
{
    double time = 0;
    now = 12.5;
    EXPECT_EQ(engine.timer->GetTime(&time), S_OK);
    EXPECT_EQ(time, 12.5);
}

TEST_F(AnimationEngineTest, RealClockMovesForward)
{
    AnimationEngine real = CreateAnimationEngine();
    double first = 0;
    double second = 0;
    ASSERT_EQ(real.timer->GetTime(&first), S_OK);
    ASSERT_EQ(real.timer->GetTime(&second), S_OK);
    EXPECT_GT(first, 0.0);
    EXPECT_GE(second, first);
}

TEST_F(AnimationEngineTest, IntegerValueFollowsTheRoundingMode)
{
    ComPtr<IUIAnimationVariable2> variable = Variable(2.5);
    int value = 0;
    EXPECT_EQ(variable->GetIntegerValue(&value), S_OK);
    EXPECT_EQ(value, 3);
    ASSERT_EQ(variable->SetRoundingMode(UI_ANIMATION_ROUNDING_FLOOR), S_OK);
    EXPECT_EQ(variable->GetIntegerValue(&value), S_OK);
    EXPECT_EQ(value, 2);
    ASSERT_EQ(variable->SetRoundingMode(UI_ANIMATION_ROUNDING_CEILING), S_OK);
    ComPtr<IUIAnimationVariable2> negative = Variable(-2.4);
    ASSERT_EQ(negative->SetRoundingMode(UI_ANIMATION_ROUNDING_NEAREST), S_OK);
    EXPECT_EQ(negative->GetIntegerValue(&value), S_OK);
    EXPECT_EQ(value, -2);
    EXPECT_EQ(variable->SetRoundingMode(static_cast<UI_ANIMATION_ROUNDING_MODE>(7)), E_INVALIDARG);
}

TEST_F(AnimationEngineTest, StatusesFollowTheSchedule)
{
    ComPtr<IUIAnimationVariable2> variable = Variable(0);
    EXPECT_EQ(ManagerStatus(), UI_ANIMATION_MANAGER_IDLE);
    ComPtr<IUIAnimationStoryboard2> storyboard = Linear(variable.Get(), 10, 1.0);
    EXPECT_EQ(Status(storyboard.Get()), UI_ANIMATION_STORYBOARD_BUILDING);
    ASSERT_EQ(storyboard->Schedule(1.0, nullptr), S_OK);
    EXPECT_EQ(Status(storyboard.Get()), UI_ANIMATION_STORYBOARD_SCHEDULED);
    EXPECT_EQ(ManagerStatus(), UI_ANIMATION_MANAGER_BUSY);
    EXPECT_EQ(storyboard->Schedule(1.0, nullptr), StoryboardActive);

    UI_ANIMATION_UPDATE_RESULT result = UI_ANIMATION_UPDATE_VARIABLES_CHANGED;
    ASSERT_EQ(engine.manager->Update(0.5, &result), S_OK);
    EXPECT_EQ(result, UI_ANIMATION_UPDATE_NO_CHANGE);
    ASSERT_EQ(engine.manager->Update(1.5, &result), S_OK);
    EXPECT_EQ(result, UI_ANIMATION_UPDATE_VARIABLES_CHANGED);
    EXPECT_EQ(Status(storyboard.Get()), UI_ANIMATION_STORYBOARD_PLAYING);
    ASSERT_EQ(engine.manager->Update(2.0, &result), S_OK);
    EXPECT_EQ(Status(storyboard.Get()), UI_ANIMATION_STORYBOARD_FINISHED);
    EXPECT_EQ(ManagerStatus(), UI_ANIMATION_MANAGER_IDLE);

    double value = 0;
    double previous = 0;
    EXPECT_EQ(variable->GetValue(&value), S_OK);
    EXPECT_EQ(variable->GetPreviousValue(&previous), S_OK);
    EXPECT_EQ(value, 10.0);
    EXPECT_EQ(previous, 5.0);
}

TEST_F(AnimationEngineTest, AbandonKeepsTheValueReached)
{
    ComPtr<IUIAnimationVariable2> variable = Variable(0);
    ComPtr<IUIAnimationStoryboard2> storyboard = Linear(variable.Get(), 10, 1.0);
    ASSERT_EQ(storyboard->Schedule(0.0, nullptr), S_OK);
    ASSERT_EQ(engine.manager->Update(0.3, nullptr), S_OK);
    ASSERT_EQ(storyboard->Abandon(), S_OK);
    EXPECT_EQ(ManagerStatus(), UI_ANIMATION_MANAGER_IDLE);
    ASSERT_EQ(engine.manager->Update(5.0, nullptr), S_OK);
    double value = 0;
    EXPECT_EQ(variable->GetValue(&value), S_OK);
    EXPECT_DOUBLE_EQ(value, 3.0);
}

TEST_F(AnimationEngineTest, ScheduledStoryboardIsSealed)
{
    ComPtr<IUIAnimationVariable2> variable = Variable(0);
    ComPtr<IUIAnimationStoryboard2> storyboard = Linear(variable.Get(), 10, 1.0);
    ASSERT_EQ(storyboard->Schedule(0.0, nullptr), S_OK);
    ComPtr<IUIAnimationTransition2> transition;
    ASSERT_EQ(engine.library->CreateInstantaneousTransition(1, transition.GetAddressOf()), S_OK);
    EXPECT_EQ(storyboard->AddTransitionAtKeyframe(variable.Get(), transition.Get(), UI_ANIMATION_KEYFRAME_STORYBOARD_START),
              static_cast<HRESULT>(0x802A0004L));
}

TEST_F(AnimationEngineTest, TimeDoesNotGoBack)
{
    ASSERT_EQ(engine.manager->Update(2.0, nullptr), S_OK);
    EXPECT_EQ(engine.manager->Update(1.0, nullptr), TimeBeforeLastUpdate);
}

TEST_F(AnimationEngineTest, ShutdownLetsGoOfRunningStoryboards)
{
    ComPtr<IUIAnimationVariable2> variable = Variable(0);
    ComPtr<IUIAnimationStoryboard2> storyboard = Linear(variable.Get(), 10, 1.0);
    ASSERT_EQ(storyboard->Schedule(0.0, nullptr), S_OK);
    ASSERT_EQ(engine.manager->Update(0.5, nullptr), S_OK);
    ASSERT_EQ(engine.manager->Shutdown(), S_OK);
    EXPECT_EQ(engine.manager->Update(0.6, nullptr), ShutdownCalled);
    // Only the test's references are left.
    EXPECT_EQ(storyboard.Reset(), 0u);
    double value = 0;
    EXPECT_EQ(variable->GetValue(&value), S_OK);
    EXPECT_EQ(value, 5.0);
}

}  // namespace
}  // namespace F3
