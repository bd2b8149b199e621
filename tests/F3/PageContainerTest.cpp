#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/Page.h"
#include "F3/PageContainer.h"
#include "support/AnimationTestEngine.h"
#include "support/GdiplusSession.h"
#include "support/PagesTestSupport.h"

namespace F3 {
namespace {

constexpr int kProgress = 0;
constexpr int kError = 2;
constexpr float kWidth = 400;
constexpr float kHeight = 116;

// A page that moves on by itself, as the concrete pages do from their buttons.
class NavigatingPage : public Page {
public:
    NavigatingPage() : Page(0, 0, 0, 0) {}
    void GoTo(int key) { navigator(key); }
};

bool WindowVisible(const Component& component)
{
    return (GetWindowLongW(component.GetHandle(), GWL_STYLE) & WS_VISIBLE) != 0;
}

class PageContainerTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
        root = std::make_shared<test::PagesRoot>(0, 0, kWidth, 180);
        root->SetInstance(GetModuleHandleW(nullptr));
        root->SetAnimationManager(engine.animation);
        progress = std::make_shared<NavigatingPage>();
        error = std::make_shared<NavigatingPage>();
        container = std::make_shared<PageContainer>(kProgress, 0, 64, kWidth, kHeight, progress);
        container->AddPage(kError, error);
        root->AddChild(container);
    }
    void TearDown() override
    {
        root.reset();
        container.reset();
        test::PumpPages();
        DpiScale::SetForTesting(96, 96);
    }

    // Creates the windows and lets the first page come in.
    void Create()
    {
        root->Create();
        ASSERT_NE(container->GetHandle(), nullptr);
        Tick(0);
    }

    // The form's timer at the given time: the manager moves on, then the components follow.
    void Tick(double time)
    {
        engine.UpdateAt(time);
        root->OnAnimationTick();
    }

    // A switch asked for at the given time, run as the window thread gets to it.
    void Show(int key, bool animated, double time)
    {
        engine.now = time;
        container->ShowPage(key, animated);
        test::PumpPages();
        Tick(time);
    }

    // A page shown is also enabled; a page hidden without a slide keeps its enabled state.
    static void ExpectShown(const Page& page, bool shown, const std::string& context)
    {
        EXPECT_EQ(page.IsVisibleFlag(), shown) << context;
        EXPECT_EQ(WindowVisible(page), shown) << context;
        if (shown) {
            EXPECT_TRUE(page.IsEnabled()) << context;
        }
    }

    test::AnimationTestEngine engine;
    std::shared_ptr<test::PagesRoot> root;
    std::shared_ptr<NavigatingPage> progress;
    std::shared_ptr<NavigatingPage> error;
    std::shared_ptr<PageContainer> container;
};

TEST_F(PageContainerTest, TheFirstPageComesInWhenTheContainerIsCreated)
{
    EXPECT_FALSE(progress->IsVisibleFlag()) << "every page starts hidden";
    EXPECT_FALSE(progress->IsEnabled());
    root->Create();
    ASSERT_EQ(container->GetChildren().size(), 2u);
    EXPECT_EQ(container->GetChildren()[0], progress) << "in key order";
    Tick(0);
    ExpectShown(*progress, true, "first page");
    ExpectShown(*error, false, "other page");
    EXPECT_FALSE(error->IsEnabled());
    EXPECT_EQ(progress->GetAlpha(), 255);
    EXPECT_EQ(container->GetChildren().back(), progress) << "raised";
    EXPECT_TRUE(engine.Idle());
}

TEST_F(PageContainerTest, AnUnknownKeyThrowsAndChangesNothing)
{
    Create();
    for (const int key : {1, -1, 3}) {
        try {
            container->ShowPage(key, true);
            ADD_FAILURE() << "key " << key << " was taken";
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "Page does not exist");
        }
        EXPECT_EQ(container->GetCurrentKey(), kProgress);
    }
    test::PumpPages();
    EXPECT_TRUE(engine.Idle()) << "no switch was posted";
}

TEST_F(PageContainerTest, TheKeyAlreadyShownChangesNothing)
{
    Create();
    for (const bool animated : {false, true}) {
        Show(kProgress, animated, 1);
        EXPECT_TRUE(engine.Idle()) << animated;
        ExpectShown(*progress, true, "shown page, animated " + std::to_string(animated));
        ExpectShown(*error, false, "other page, animated " + std::to_string(animated));
        EXPECT_EQ(progress->GetY(), 0) << animated;
    }
}

TEST_F(PageContainerTest, ASwitchWithoutTransitionIsCompleteAtOnce)
{
    Create();
    Show(kError, false, 1);
    EXPECT_EQ(container->GetCurrentKey(), kError);
    ExpectShown(*error, true, "incoming");
    ExpectShown(*progress, false, "outgoing");
    EXPECT_EQ(error->GetY(), 0);
    EXPECT_EQ(error->GetAlpha(), 255);
    EXPECT_EQ(container->GetChildren().back(), error);
    EXPECT_TRUE(engine.Idle());
}

TEST_F(PageContainerTest, ASlidingSwitchMovesTheNewPageUpFromBelow)
{
    Create();
    Show(kError, true, 1.0);
    // Start: the new page just below the visible area, in front, not yet usable; the old one
    // still shown but no longer usable.
    EXPECT_EQ(error->GetY(), kHeight);
    EXPECT_TRUE(error->IsVisibleFlag());
    EXPECT_FALSE(error->IsEnabled());
    EXPECT_EQ(container->GetChildren().back(), error);
    EXPECT_EQ(GetTopWindow(container->GetHandle()), error->GetHandle());
    EXPECT_TRUE(progress->IsVisibleFlag());
    EXPECT_FALSE(progress->IsEnabled());
    EXPECT_EQ(progress->GetAlpha(), 255);
    EXPECT_EQ(error->GetAlpha(), 255);

    Tick(1.35);
    EXPECT_GT(error->GetY(), 0);
    EXPECT_LT(error->GetY(), kHeight);
    RECT window{};
    GetWindowRect(error->GetHandle(), &window);
    MapWindowPoints(nullptr, container->GetHandle(), reinterpret_cast<POINT*>(&window), 2);
    EXPECT_EQ(window.top, static_cast<LONG>(error->GetY())) << "the window moves with the value";
    EXPECT_FALSE(error->IsEnabled());
    EXPECT_TRUE(progress->IsVisibleFlag());

    Tick(1.6);
    EXPECT_NE(error->GetY(), 0) << "0.7 s, not yet over";
    EXPECT_TRUE(progress->IsVisibleFlag());

    Tick(1.7);
    EXPECT_EQ(error->GetY(), 0);
    ExpectShown(*error, true, "incoming at the end");
    ExpectShown(*progress, false, "outgoing at the end");
    EXPECT_FALSE(progress->IsEnabled());
    EXPECT_EQ(error->GetAlpha(), 255);
    EXPECT_EQ(container->GetChildren().back(), error);
    EXPECT_TRUE(engine.Idle());
}

// The raise value is spent each time a page is raised; every later switch must raise again.
TEST_F(PageContainerTest, EverySwitchRaisesTheIncomingPage)
{
    Create();
    for (const bool animated : {false, true}) {
        double time = animated ? 100 : 10;
        for (int round = 0; round < 4; ++round) {
            const bool toError = round % 2 == 0;
            const auto& incoming = toError ? error : progress;
            const auto& outgoing = toError ? progress : error;
            const std::string context = "animated " + std::to_string(animated) + ", round " + std::to_string(round);
            ASSERT_NO_THROW(Show(toError ? kError : kProgress, animated, time)) << context;
            EXPECT_EQ(container->GetChildren().back(), incoming) << context;
            EXPECT_EQ(GetTopWindow(container->GetHandle()), incoming->GetHandle()) << context;
            time += 1;
            ASSERT_NO_THROW(Tick(time)) << context;
            ExpectShown(*incoming, true, context);
            ExpectShown(*outgoing, false, context);
            if (animated) {
                EXPECT_FALSE(outgoing->IsEnabled()) << context;
            }
            EXPECT_EQ(incoming->GetY(), 0) << context;
            time += 1;
        }
    }
}

TEST_F(PageContainerTest, APageMovesOnWithTheSlidingTransition)
{
    Create();
    engine.now = 1;
    progress->GoTo(kError);
    test::PumpPages();
    Tick(1);
    EXPECT_EQ(error->GetY(), kHeight) << "slides in";
    EXPECT_TRUE(progress->IsVisibleFlag()) << "the old page stays until the slide is over";
    Tick(2);
    ExpectShown(*error, true, "incoming");
    ExpectShown(*progress, false, "outgoing");
    EXPECT_THROW(error->GoTo(7), std::out_of_range);
}

TEST_F(PageContainerTest, APageThatOutlivesItsContainerNavigatesNowhere)
{
    Create();
    root.reset();
    container.reset();
    EXPECT_NO_THROW(progress->GoTo(kError));
}

TEST_F(PageContainerTest, APageAddedAfterCreationStaysHiddenUntilShown)
{
    Create();
    auto late = std::make_shared<NavigatingPage>();
    container->AddPage(5, late);
    EXPECT_EQ(late->GetParent(), container);
    ASSERT_NE(late->GetHandle(), nullptr);
    EXPECT_EQ(late->GetWidth(), kWidth);
    EXPECT_EQ(late->GetHeight(), kHeight);
    Tick(1);
    Tick(2);
    ExpectShown(*late, false, "before");
    EXPECT_FALSE(late->IsEnabled());
    ExpectShown(*progress, true, "current page before");

    Show(5, false, 3);
    ExpectShown(*late, true, "after");
    ExpectShown(*progress, false, "previous page after");
}

TEST_F(PageContainerTest, AKeyInUseKeepsItsFirstPage)
{
    auto second = std::make_shared<NavigatingPage>();
    container->AddPage(kError, second);
    EXPECT_FALSE(second->IsVisibleFlag());
    EXPECT_EQ(second->GetWidth(), kWidth) << "prepared all the same";
    Create();
    Show(kError, false, 1);
    EXPECT_TRUE(error->IsVisibleFlag());
    EXPECT_FALSE(second->IsVisibleFlag());
    EXPECT_EQ(second->GetParent(), nullptr);
}

TEST_F(PageContainerTest, ResizingTheContainerResizesEveryPage)
{
    Create();
    container->SetSize(500, 211);
    for (const auto& page : {progress, error}) {
        EXPECT_EQ(page->GetWidth(), 500);
        EXPECT_EQ(page->GetHeight(), 211);
        EXPECT_EQ(page->GetX(), 0);
        EXPECT_EQ(page->GetY(), 0);
        RECT client{};
        GetClientRect(page->GetHandle(), &client);
        EXPECT_EQ(client.right, 500);
        EXPECT_EQ(client.bottom, 211);
    }
    Show(kError, true, 1);
    EXPECT_EQ(error->GetY(), 211) << "a slide starts below the new height";
}

}  // namespace
}  // namespace F3
