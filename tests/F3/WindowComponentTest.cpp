#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "F3/CloseComponent.h"
#include "F3/DpiScale.h"
#include "F3/MinimiseComponent.h"
#include "Resources/ResourceIds.h"
#include "support/ControlTestSupport.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

// Keeps the system commands that reach the button's own window: the system sends one there when
// it tracks a frame button or starts a move.
template <typename Button>
class Recording : public Button {
public:
    using Button::Button;
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_SYSCOMMAND)
            ownCommands.push_back(static_cast<int>(wParam & 0xFFF0));
        return Button::HandleMessage(window, message, wParam, lParam);
    }
    std::vector<int> ownCommands;
};

struct Kind {
    const char* name;
    int hitTestCode;
    int command;
    std::function<std::shared_ptr<WindowComponent>(HWND owner)> make;
};

const Kind kKinds[] = {
    {"minimise", HTMINBUTTON, SC_MINIMIZE,
     [](HWND owner) { return std::make_shared<Recording<MinimiseComponent>>(owner, 10, 6, 24, 24, 24, 0); }},
    {"close", HTCLOSE, SC_CLOSE,
     [](HWND owner) { return std::make_shared<Recording<CloseComponent>>(owner, 40, 6, 24, 24, 24, 0); }},
};

std::vector<int> OwnCommands(const std::shared_ptr<WindowComponent>& button)
{
    if (auto minimise = std::dynamic_pointer_cast<Recording<MinimiseComponent>>(button))
        return minimise->ownCommands;
    return std::dynamic_pointer_cast<Recording<CloseComponent>>(button)->ownCommands;
}

class WindowComponentTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
        owner = std::make_shared<test::CommandWindow>(200, 64);
        owner->SetInstance(GetModuleHandleW(nullptr));
        owner->SetBackgroundColour(Gdiplus::Color(255, 255, 255, 255));
        owner->Create();
        ASSERT_NE(owner->GetHandle(), nullptr);
    }
    void TearDown() override
    {
        owner.reset();
        test::PumpMessages();
    }

    std::shared_ptr<WindowComponent> Place(const Kind& kind)
    {
        auto button = kind.make(owner->GetHandle());
        owner->AddChild(button);
        button->Create();
        EXPECT_NE(button->GetHandle(), nullptr) << kind.name;
        return button;
    }

    std::shared_ptr<test::CommandWindow> owner;
};

TEST_F(WindowComponentTest, TheAreaAnswersAsItsFramePart)
{
    for (const Kind& kind : kKinds) {
        auto button = Place(kind);
        EXPECT_EQ(SendMessageW(button->GetHandle(), WM_NCHITTEST, 0, MAKELPARAM(1, 1)), kind.hitTestCode) << kind.name;
        EXPECT_EQ(button->GetTypeNames(), (std::vector<std::string>{"component", "window", kind.name}));
        EXPECT_EQ(button->GetTargetWindow(), owner->GetHandle());
        EXPECT_EQ(button->GetCursor(), IDC_HAND) << kind.name;
        EXPECT_TRUE(button->IsFocusable()) << kind.name;
        EXPECT_FALSE(GetWindowLongW(button->GetHandle(), GWL_EXSTYLE) & WS_EX_TRANSPARENT)
            << kind.name << ": a background, if an invisible one, so the window takes the mouse";
    }
}

TEST_F(WindowComponentTest, APressDoesNothingAndTheReleasePostsTheCommandOnce)
{
    for (const Kind& kind : kKinds) {
        owner->commands.clear();
        auto button = Place(kind);
        const HWND window = button->GetHandle();

        EXPECT_EQ(SendMessageW(window, WM_NCLBUTTONDOWN, kind.hitTestCode, MAKELPARAM(12, 12)), 0) << kind.name;
        test::PumpMessages();
        EXPECT_EQ(GetCapture(), nullptr) << kind.name << ": the system is not tracking the press";
        EXPECT_THAT(owner->commands, IsEmpty()) << kind.name;
        EXPECT_THAT(OwnCommands(button), IsEmpty()) << kind.name << ": no move or frame-button tracking";

        EXPECT_EQ(SendMessageW(window, WM_NCLBUTTONUP, kind.hitTestCode, MAKELPARAM(12, 12)), 0) << kind.name;
        EXPECT_THAT(owner->commands, IsEmpty()) << kind.name << ": posted, not sent";
        test::PumpMessages();
        EXPECT_THAT(owner->commands, ElementsAre(kind.command)) << kind.name;
        EXPECT_THAT(OwnCommands(button), IsEmpty()) << kind.name;
    }
}

TEST_F(WindowComponentTest, OtherReleasesSendNoCommand)
{
    for (const Kind& kind : kKinds) {
        owner->commands.clear();
        auto button = Place(kind);
        EXPECT_EQ(SendMessageW(button->GetHandle(), WM_NCLBUTTONUP, HTOBJECT, MAKELPARAM(12, 12)), 0) << kind.name;
        const int otherCode = kind.hitTestCode == HTCLOSE ? HTMINBUTTON : HTCLOSE;
        SendMessageW(button->GetHandle(), WM_NCLBUTTONUP, otherCode, MAKELPARAM(12, 12));
        test::PumpMessages();
        EXPECT_THAT(owner->commands, IsEmpty()) << kind.name;
    }
}

TEST_F(WindowComponentTest, InvokeFromAnotherThreadAndEnterPostTheCommand)
{
    for (const Kind& kind : kKinds) {
        owner->commands.clear();
        auto button = Place(kind);
        auto* extension = static_cast<Accessibility::IButtonAccessibilityExtension*>(button.get());
        std::thread([extension] { extension->Invoke(); }).join();
        test::PumpMessages();
        EXPECT_THAT(owner->commands, ElementsAre(kind.command)) << kind.name;

        owner->commands.clear();
        button->DefaultAction();
        test::PumpMessages();
        EXPECT_THAT(owner->commands, ElementsAre(kind.command)) << kind.name;
    }
}

TEST_F(WindowComponentTest, TheIconIsDrawnAtTheIconSize)
{
    // A white glyph, seen on a black window.
    owner->SetBackgroundColour(Gdiplus::Color(255, 0, 0, 0));
    auto close = std::make_shared<CloseComponent>(owner->GetHandle(), 40, 6, 24, 24, 16, IDR_IMAGE_DOWNLOAD);
    owner->AddChild(close);
    close->Create();
    ASSERT_TRUE(close->HasIcon());
    owner->PaintAll();
    const auto lit = [&](int left, int top, int right, int bottom) {
        int count = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x)
                count += owner->PixelAt(x, y).GetRed() > 128 ? 1 : 0;
        }
        return count;
    };
    EXPECT_GT(lit(40, 6, 56, 22), 10) << "the icon in its 16 x 16 corner";
    EXPECT_EQ(lit(56, 6, 64, 30), 0) << "nothing beyond the icon size";
    EXPECT_EQ(lit(40, 22, 64, 30), 0) << "nothing beyond the icon size";
}

}  // namespace
}  // namespace F3
