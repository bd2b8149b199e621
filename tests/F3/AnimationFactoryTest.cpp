#include <windows.h>
#include <objbase.h>
#include <uianimation.h>

#include <wrl/client.h>

#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "F3/Animated.h"
#include "F3/AnimationFactory.h"
#include "F3/IStoryboard.h"
#include "F3/WinAnimation.h"
#include "support/CapturingLogger.h"

namespace F3 {
namespace {

using testing::Contains;

class AnimationFactoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        Microsoft::WRL::ComPtr<IUIAnimationManager2> system;
        if (SUCCEEDED(CoCreateInstance(CLSID_UIAnimationManager2, nullptr, CLSCTX_ALL, IID_IUIAnimationManager2,
                                       reinterpret_cast<void**>(system.GetAddressOf()))))
            GTEST_SKIP() << "the system's animation classes are registered here";
    }

    void TearDown() override
    {
        if (initialised)
            CoUninitialize();
    }

    bool initialised = false;
};

// Under Wine the transition library and the manager are not registered (the timer is).
TEST_F(AnimationFactoryTest, SystemClassesMissingThrowUnavailable)
{
    test::CapturingLogger log;
    try {
        WinAnimation animation;
        FAIL() << "no exception";
    } catch (const AnimationUnavailableException& e) {
        EXPECT_STREQ(e.what(), "Windows Animation unavailable");
    }
    EXPECT_THAT(log.Texts(halvlib::logging::Error),
                testing::ElementsAre(testing::AnyOf("Animation: failed to create animation timer 0x80040154",
                                                    "Animation: failed to create tranition library 0x80040154",
                                                    "Animation: failed to create animation manager 0x80040154")));
}

TEST_F(AnimationFactoryTest, FallsBackToTheBuiltInEngine)
{
    test::CapturingLogger log;
    AnimationFactory factory;
    std::shared_ptr<IAnimationManager> animation = factory.Create();
    ASSERT_TRUE(animation);
    EXPECT_THAT(log.Texts(halvlib::logging::Info), Contains("Animation: using the built-in animation engine"));

    Animated<int> value(0);
    animation->CreateStoryboard()->Instant(value, Animated<int>(5)).Schedule(0.0);
    EXPECT_TRUE(animation->Update());
    EXPECT_EQ(value.Get(), 5);
    EXPECT_FALSE(animation->Update());
}

}  // namespace
}  // namespace F3
