#include <windows.h>

#include <memory>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/Form.h"
#include "F3/HeaderBar.h"
#include "support/AnimationTestEngine.h"
#include "support/ControlTestSupport.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

class TestForm : public Form {
public:
    TestForm() : Form(L"Form Test", 64.0f, 400.0f, 180.0f, HeaderBarSettings{}) {}

    bool CanClose() override { return allowClose; }
    void OnClose() override { ++closes; }

    bool allowClose = true;
    int closes = 0;
};

class FormTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
    }

    // The window as Run makes it, without the loop.
    std::shared_ptr<TestForm> MakeForm()
    {
        auto form = std::make_shared<TestForm>();
        form->SetInstance(GetModuleHandleW(nullptr));
        form->SetThemeManager(theme.manager);
        form->SetAnimationManager(engine.animation);
        form->SetLocalisationManager(std::make_shared<test::FakeLocalisation>());
        form->Create();
        EXPECT_NE(form->GetHandle(), nullptr);
        return form;
    }

    test::EmbeddedTheme theme;
    test::AnimationTestEngine engine;
};

TEST_F(FormTest, TheWholeWindowIsClientAreaWithTheHeaderBarAtItsTop)
{
    auto form = MakeForm();
    RECT frame{};
    RECT client{};
    GetWindowRect(form->GetHandle(), &frame);
    GetClientRect(form->GetHandle(), &client);
    EXPECT_EQ(frame.right - frame.left, 400);
    EXPECT_EQ(frame.bottom - frame.top, 180);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 180);
    EXPECT_EQ(SendMessageW(form->GetHandle(), WM_NCACTIVATE, FALSE, 0), 1);
    ASSERT_NE(form->GetHeaderBar(), nullptr);
    EXPECT_EQ(form->GetHeaderBar()->GetWidth(), 400.0f);
    EXPECT_EQ(form->GetHeaderBar()->GetHeight(), 64.0f);
    const LONG style = GetWindowLongW(form->GetHandle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_CAPTION);
}

// The header strip is the caption, so dragging it moves the window; elsewhere is the client.
TEST_F(FormTest, OnlyTheHeaderStripIsTheCaption)
{
    auto form = MakeForm();
    RECT frame{};
    GetWindowRect(form->GetHandle(), &frame);
    const struct {
        int x;
        int y;
        LRESULT expected;
    } cases[] = {{1, 1, HTCAPTION}, {399, 63, HTCAPTION}, {200, 64, HTCLIENT}, {10, 179, HTCLIENT}};
    for (const auto& c : cases) {
        const LPARAM at = MAKELPARAM(frame.left + c.x, frame.top + c.y);
        EXPECT_EQ(SendMessageW(form->GetHandle(), WM_NCHITTEST, 0, at), c.expected) << c.x << "," << c.y;
    }
}

TEST_F(FormTest, TheHeightAnimatesAtFiftyPerSecondAndNoMoveMeanwhile)
{
    auto form = MakeForm();
    engine.now = 10.0;
    form->SetHeightAnimated(275.0f);
    engine.UpdateAt(10.0);
    SendMessageW(form->GetHandle(), WM_TIMER, Form::kAnimationTimerId, 0);
    EXPECT_TRUE(form->IsResizing());
    // A move now would fight the animation; the form refuses it at once.
    EXPECT_EQ(SendMessageW(form->GetHandle(), WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0), 0);

    engine.now = 11.0;
    SendMessageW(form->GetHandle(), WM_TIMER, Form::kAnimationTimerId, 0);
    EXPECT_NEAR(form->GetHeight(), 230.0f, 1.0f);
    EXPECT_TRUE(form->IsResizing());

    engine.now = 12.0;  // 95 DIP at 50 per second: over after 1.9 s
    SendMessageW(form->GetHandle(), WM_TIMER, Form::kAnimationTimerId, 0);
    EXPECT_EQ(form->GetHeight(), 275.0f);
    EXPECT_FALSE(form->IsResizing());
    RECT frame{};
    GetWindowRect(form->GetHandle(), &frame);
    EXPECT_EQ(frame.bottom - frame.top, 275);
}

TEST_F(FormTest, ARefusedCloseKeepsTheWindow)
{
    auto form = MakeForm();
    form->allowClose = false;
    EXPECT_EQ(SendMessageW(form->GetHandle(), WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(form->GetHandle()));
    EXPECT_EQ(form->closes, 0);
    form->allowClose = true;
    const HWND window = form->GetHandle();
    form->Close();
    EXPECT_EQ(form->closes, 1);
    EXPECT_FALSE(IsWindow(window));
}

// Run brings the window to the front once per signal of the first handle and resets it; left
// signalled, it would wake the loop on every pass, and the second handle, which closes the
// window, would never be seen.
TEST_F(FormTest, RunAnswersEachSignalOnceAndTheSecondHandleCloses)
{
    const HANDLE front = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    const HANDLE close = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(front && close);
    auto form = std::make_shared<TestForm>();
    EXPECT_TRUE(form->Run(theme.manager, engine.animation, std::make_shared<test::FakeLocalisation>(),
                          GetModuleHandleW(nullptr), &front, close));
    EXPECT_EQ(WaitForSingleObject(front, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(form->closes, 1);
    EXPECT_EQ(form->GetHandle(), nullptr);
    CloseHandle(front);
    CloseHandle(close);
}

TEST_F(FormTest, BringingAMinimisedWindowToFrontRestoresIt)
{
    auto form = MakeForm();
    ShowWindow(form->GetHandle(), SW_SHOW);
    form->Minimise();
    ASSERT_TRUE(form->IsMinimised());
    form->BringToFront();
    EXPECT_FALSE(form->IsMinimised());
    EXPECT_TRUE(IsWindowVisible(form->GetHandle()));
    EXPECT_FALSE(GetWindowLongW(form->GetHandle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

}  // namespace
}  // namespace F3
