#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "F3/Component.h"
#include "F3/DpiScale.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

// The least a concrete component needs; it records what the tests look for.
class Probe : public Component {
public:
    using Component::Component;

    bool IsKeyboardFocusable() const override { return IsFocusable(); }
    bool HasKeyboardFocus() const override { return HasFocus(); }
    void RaiseAutomationEvent(int eventId) override { events.push_back(eventId); }

    void OnMouseWheel(const MouseEventArgs& args) override
    {
        wheelDeltas.push_back(args.wheelDelta);
        Component::OnMouseWheel(args);
    }
    void ApplyTheme() override { ++themeApplied; }
    void ApplyLocalisation() override { ++localisationApplied; }
    void OnCreate() override
    {
        Component::OnCreate();
        if (throwOnCreate)
            throw std::runtime_error("Cannot find key");
    }
    void DefaultAction() override { ++defaultActions; }

    std::vector<int> events;
    std::vector<int> wheelDeltas;
    int themeApplied = 0;
    int localisationApplied = 0;
    int defaultActions = 0;
    bool throwOnCreate = false;
};

// A borderless top-level window, as the form makes.
class RootProbe : public Probe {
public:
    using Probe::Probe;
    void CreateParams(CreateParamsRecord& params) override
    {
        Probe::CreateParams(params);
        params.style |= WS_POPUP;
    }
};

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

class ComponentTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
    }
    void TearDown() override { DpiScale::SetForTesting(96, 96); }

    std::shared_ptr<RootProbe> MakeRoot(float x = 100, float y = 100, float width = 300, float height = 200)
    {
        auto root = std::make_shared<RootProbe>(x, y, width, height);
        root->SetInstance(GetModuleHandleW(nullptr));
        root->SetBackgroundColour(Gdiplus::Color(255, 255, 255, 255));
        return root;
    }
};

TEST_F(ComponentTest, NameFallsBackToTheLastTypeName)
{
    struct Case {
        const wchar_t* windowName;
        const wchar_t* expected;
    };
    for (const Case& c : {Case{L"HalvexVeskBaseComponent", L"error"}, Case{L"", L"error"}, Case{L"Close", L"Close"}}) {
        Probe probe(0, 0, 10, 10, c.windowName);
        probe.AddTypeNames({"sub-page", "page", "error"});
        EXPECT_EQ(probe.GetName(), c.expected) << c.windowName;
    }
    EXPECT_EQ(Probe(0, 0, 1, 1).GetName(), L"component");
}

TEST_F(ComponentTest, PositionIsRoundedHalvesAwayFromZero)
{
    const Probe probe(2.5f, -3.5f, 1, 1);
    EXPECT_EQ(probe.GetX(), 3.0f);
    EXPECT_EQ(probe.GetY(), -4.0f);
}

TEST_F(ComponentTest, AlphaIsClampedToAByte)
{
    Probe probe(0, 0, 1, 1);
    for (const auto& [given, stored] : {std::pair{300, 255}, std::pair{-5, 0}, std::pair{128, 128}}) {
        probe.SetAlpha(given);
        EXPECT_EQ(probe.GetAlpha(), stored) << given;
    }
    EXPECT_FALSE(probe.IsOpaque());
}

TEST_F(ComponentTest, WindowStylesFollowTheComponentsState)
{
    auto root = MakeRoot();
    auto plain = std::make_shared<Probe>(0, 0, 10, 10);
    auto hidden = std::make_shared<Probe>(10, 0, 10, 10);
    hidden->SetVisible(false);
    auto painted = std::make_shared<Probe>(20, 0, 10, 10);
    painted->SetBackgroundColour(Gdiplus::Color(255, 1, 2, 3));
    painted->SetFocusable(true);
    auto disabled = std::make_shared<Probe>(30, 0, 10, 10);
    disabled->SetEnabled(false);
    for (const auto& child : {plain, hidden, painted, disabled})
        root->AddChild(child);
    root->Create();
    ASSERT_NE(root->GetHandle(), nullptr);

    const auto style = [](const std::shared_ptr<Probe>& c) { return GetWindowLongW(c->GetHandle(), GWL_STYLE); };
    const auto extended = [](const std::shared_ptr<Probe>& c) {
        return GetWindowLongW(c->GetHandle(), GWL_EXSTYLE);
    };
    for (const auto& child : {plain, hidden, painted, disabled}) {
        ASSERT_NE(child->GetHandle(), nullptr);
        EXPECT_TRUE(style(child) & WS_CHILD);
        EXPECT_TRUE(style(child) & WS_CLIPSIBLINGS);
        EXPECT_TRUE(extended(child) & WS_EX_CONTROLPARENT);
        EXPECT_EQ(GetParent(child->GetHandle()), root->GetHandle());
    }
    EXPECT_TRUE(extended(plain) & WS_EX_TRANSPARENT) << "no background: transparent to the mouse";
    EXPECT_FALSE(extended(painted) & WS_EX_TRANSPARENT);
    EXPECT_FALSE(style(hidden) & WS_VISIBLE);
    EXPECT_TRUE(style(plain) & WS_VISIBLE);
    EXPECT_TRUE(style(painted) & WS_TABSTOP);
    EXPECT_FALSE(style(plain) & WS_TABSTOP);
    EXPECT_TRUE(style(disabled) & WS_DISABLED);
    EXPECT_FALSE(style(root) & WS_CHILD);

    wchar_t className[64] = {};
    GetClassNameW(plain->GetHandle(), className, 64);
    EXPECT_STREQ(className, L"HalvexVeskF3");
    root.reset();
    EXPECT_FALSE(IsWindow(plain->GetHandle())) << "the parent's window took its children's with it";
}

TEST_F(ComponentTest, AChildAddedLaterGetsAWindowOnCreateOrResize)
{
    auto root = MakeRoot();
    root->Create();
    auto late = std::make_shared<Probe>(0, 0, 10, 10);
    auto resized = std::make_shared<Probe>(0, 0, 10, 10);
    root->AddChild(late);
    root->AddChild(resized);
    EXPECT_EQ(late->GetHandle(), nullptr);
    late->Create();
    EXPECT_NE(late->GetHandle(), nullptr);
    EXPECT_EQ(resized->GetHandle(), nullptr);
    root->SetSize(320, 220);
    EXPECT_NE(resized->GetHandle(), nullptr);
    EXPECT_THAT(root->events, testing::Contains(20008));
}

TEST_F(ComponentTest, AddChildHandsTheManagersAndInstanceDown)
{
    auto root = MakeRoot();
    auto child = std::make_shared<Probe>(0, 0, 10, 10);
    root->AddChild(child);
    EXPECT_EQ(child->GetInstance(), GetModuleHandleW(nullptr));
    EXPECT_EQ(child->GetParent(), root);
    EXPECT_EQ(child->localisationApplied, 1) << "also without a localisation manager";
    EXPECT_EQ(child->themeApplied, 0) << "no theme manager to hand down";
}

TEST_F(ComponentTest, BackBuffersCoverTheClientAreaInPixels)
{
    for (const int dpi : {96, 144}) {
        DpiScale::SetForTesting(dpi, dpi);
        auto root = MakeRoot(0, 0, 101, 51);
        auto child = std::make_shared<Probe>(5, 5, 33.5f, 10);
        root->AddChild(child);
        root->Create();
        const float scale = dpi / 96.0f;
        for (const auto& component : {std::static_pointer_cast<Probe>(root), child}) {
            RECT client{};
            GetClientRect(component->GetHandle(), &client);
            EXPECT_EQ(client.right, static_cast<LONG>(component->GetWidth() * scale)) << dpi;
            ASSERT_TRUE(component->GetBackBuffer()) << dpi;
            // Rounded up from DIP, so never short of the window.
            EXPECT_GE(component->GetBackBuffer()->GetWidth(), static_cast<UINT>(client.right)) << dpi;
            EXPECT_LE(component->GetBackBuffer()->GetWidth(), static_cast<UINT>(client.right + 1)) << dpi;
            EXPECT_GE(component->GetBackBuffer()->GetHeight(), static_cast<UINT>(client.bottom)) << dpi;
            EXPECT_NEAR(component->GetClientRect().Width, client.right / scale, 1e-3) << dpi;
        }
    }
}

TEST_F(ComponentTest, InvokeRunsOnTheWindowThread)
{
    auto root = MakeRoot();
    root->Create();
    const DWORD windowThread = GetCurrentThreadId();
    DWORD ranOn = 0;
    int runs = 0;
    std::thread([&] { root->Invoke([&] { ranOn = GetCurrentThreadId(); ++runs; }, false); }).join();
    EXPECT_EQ(runs, 0) << "posted: runs when the window thread gets to it";
    Pump();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ranOn, windowThread);
    EXPECT_EQ(SendMessageW(root->GetHandle(), WM_APP + 1, 0, 0), 0) << "a null callable is ignored";
}

TEST_F(ComponentTest, TabAndEnterMoveFocusAndActivate)
{
    auto root = MakeRoot();
    std::vector<std::shared_ptr<Probe>> buttons;
    for (int i = 0; i < 3; ++i) {
        buttons.push_back(std::make_shared<Probe>(i * 20.0f, 0, 10, 10));
        buttons.back()->SetBackgroundColour(Gdiplus::Color(255, 0, 0, 0));
        buttons.back()->SetFocusable(true);
    }
    auto notFocusable = std::make_shared<Probe>(0, 50, 10, 10);
    root->AddChild(buttons[0]);
    root->AddChild(notFocusable);
    root->AddChild(buttons[1], true);
    root->AddChild(buttons[2]);
    root->Create();
    ShowWindow(root->GetHandle(), SW_SHOW);
    SetFocus(root->GetHandle());
    Pump();
    EXPECT_TRUE(buttons[1]->HasFocus()) << "the root is not focusable: its initial-focus child takes it";
    EXPECT_EQ(root->GetFocusedComponent(), buttons[1]);

    SendMessageW(buttons[1]->GetHandle(), WM_CHAR, VK_TAB, 0);
    Pump();
    EXPECT_TRUE(buttons[0]->HasFocus()) << "the first other child that can take it";
    EXPECT_FALSE(buttons[1]->HasFocus());
    EXPECT_THAT(buttons[0]->events, testing::Contains(20005));

    SendMessageW(buttons[0]->GetHandle(), WM_CHAR, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(buttons[0]->defaultActions, 1);
    EXPECT_EQ(buttons[1]->defaultActions, 0);

    // A hidden component gives the focus on.
    buttons[0]->SetVisible(false);
    Pump();
    EXPECT_FALSE(buttons[0]->HasFocus());
    EXPECT_NE(root->GetFocusedComponent(), nullptr);
}

TEST_F(ComponentTest, HitTestAnswersTransparentInsideOrNowhere)
{
    auto root = MakeRoot(100, 100, 300, 200);
    root->Create();
    EXPECT_EQ(root->HitTest(150, 150), HTCLIENT);
    EXPECT_EQ(root->HitTest(50, 50), HTNOWHERE);
    EXPECT_EQ(SendMessageW(root->GetHandle(), WM_NCHITTEST, 0, MAKELPARAM(150, 150)), HTCLIENT);
    root->SetMouseTransparent(true);
    EXPECT_EQ(root->HitTest(150, 150), HTTRANSPARENT);
}

TEST_F(ComponentTest, TheWheelGoesToTheComponentUnderThePointAndBubblesUp)
{
    auto root = MakeRoot(100, 100, 300, 200);
    auto child = std::make_shared<Probe>(50, 50, 100, 100);
    child->SetBackgroundColour(Gdiplus::Color(255, 0, 0, 0));
    root->AddChild(child);
    root->Create();
    ShowWindow(root->GetHandle(), SW_SHOW);
    Pump();
    ASSERT_EQ(WindowFromPoint(POINT{200, 200}), child->GetHandle());

    SendMessageW(root->GetHandle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), MAKELPARAM(200, 200));
    EXPECT_THAT(child->wheelDeltas, testing::ElementsAre(-120));
    EXPECT_THAT(root->wheelDeltas, testing::ElementsAre(-120)) << "bubbled up from the child";

    SendMessageW(root->GetHandle(), WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(110, 110));
    EXPECT_THAT(child->wheelDeltas, testing::ElementsAre(-120));
    EXPECT_THAT(root->wheelDeltas, testing::ElementsAre(-120, 120));
}

TEST_F(ComponentTest, AHandlersExceptionEndsTheCreationInsteadOfCrossingTheSystem)
{
    auto root = MakeRoot();
    auto child = std::make_shared<Probe>(0, 0, 10, 10);
    child->throwOnCreate = true;
    root->AddChild(child);
    EXPECT_THROW(
        {
            try {
                root->Create();
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "Cannot find key");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_NO_THROW(RethrowWindowException()) << "thrown once";
}

}  // namespace
}  // namespace F3
