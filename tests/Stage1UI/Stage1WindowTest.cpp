#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/HeaderBar.h"
#include "F3/Painting.h"
#include "F3/UiaDeclarations.h"
#include "Stage1UI/Stage1Window.h"
#include "Stage1UITestSupport.h"
#include "support/GdiplusSession.h"

namespace S1::UI {
namespace {

using Setup::FatalError;

// The stage-1 window with a script that runs on the window thread once the run loop has the
// window, and a record of what reaches the window.
class ScriptedWindow : public Stage1Window {
public:
    // Bring-to-front rounds past this many mean a loop that never rests: the window closes.
    static constexpr int kRunaway = 10;

    ScriptedWindow(test::FakeController& controller, std::function<void(ScriptedWindow&)> script)
        : Stage1Window(ControllerInterfaces::Of(controller)), script(std::move(script))
    {
    }

    void OnCreate() override
    {
        Stage1Window::OnCreate();
        // Behind what the window posted for itself while it was made.
        Invoke(
            [this] {
                scriptRan = true;
                if (script)
                    script(*this);
                // Also after a failed assertion, which leaves the script early.
                if (closeAfterScript)
                    PostMessageW(GetHandle(), WM_CLOSE, 0, 0);
            },
            false);
    }

    void OnClose() override
    {
        ++closes;
        closedMinimised = IsIconic(GetHandle()) != FALSE;
        Stage1Window::OnClose();
    }

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_WINDOWPOSCHANGING) {
            const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
            if (!(position->flags & SWP_NOZORDER) && position->hwndInsertAfter == HWND_TOPMOST &&
                ++topmostRequests == kRunaway)
                PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return Stage1Window::HandleMessage(window, message, wParam, lParam);
    }

    std::function<void(ScriptedWindow&)> script;
    // False leaves the end of the run to what the script started.
    bool closeAfterScript = true;
    bool scriptRan = false;
    int closes = 0;
    bool closedMinimised = false;
    int topmostRequests = 0;
};

SIZE ClientSize(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return {client.right - client.left, client.bottom - client.top};
}

// What a UI Automation client reaches through a component's provider.
class Client {
public:
    explicit Client(F3::Accessibility::IAccessibilityProvider* provider)
    {
        if (provider)
            provider->QueryInterface(__uuidof(IRawElementProviderSimple), reinterpret_cast<void**>(&simple));
    }
    ~Client()
    {
        if (simple)
            simple->Release();
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return simple != nullptr; }

    std::wstring Name() const
    {
        VARIANT value;
        VariantInit(&value);
        std::wstring name;
        if (simple->GetPropertyValue(UIA_NamePropertyId, &value) == S_OK && value.vt == VT_BSTR)
            name = value.bstrVal;
        VariantClear(&value);
        return name;
    }

    std::wstring HelpText() const
    {
        VARIANT value;
        VariantInit(&value);
        std::wstring text;
        if (simple->GetPropertyValue(UIA_HelpTextPropertyId, &value) == S_OK && value.vt == VT_BSTR)
            text = value.bstrVal;
        VariantClear(&value);
        return text;
    }

    std::optional<double> RangeValue() const
    {
        VARIANT value;
        VariantInit(&value);
        std::optional<double> result;
        if (simple->GetPropertyValue(UIA_RangeValueValuePropertyId, &value) == S_OK && value.vt == VT_R8)
            result = value.dblVal;
        VariantClear(&value);
        return result;
    }

    HRESULT Invoke() const
    {
        IUnknown* unknown = nullptr;
        if (simple->GetPatternProvider(UIA_InvokePatternId, &unknown) != S_OK || !unknown)
            return E_NOINTERFACE;
        IInvokeProvider* invoke = nullptr;
        HRESULT result = unknown->QueryInterface(__uuidof(IInvokeProvider), reinterpret_cast<void**>(&invoke));
        unknown->Release();
        if (SUCCEEDED(result)) {
            result = invoke->Invoke();
            invoke->Release();
        }
        return result;
    }

private:
    IRawElementProviderSimple* simple = nullptr;
};

class Stage1WindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        F3::DpiScale::SetForTesting(96, 96);
        managers = std::make_unique<test::Managers>();
    }
    void TearDown() override
    {
        window.reset();
        test::PumpAll();
        F3::DpiScale::SetForTesting(96, 96);
    }

    // Runs the window on this thread, as the program does, until it is destroyed.
    void Run(std::function<void(ScriptedWindow&)> script, bool closeAfterScript = true, HANDLE first = nullptr,
             HANDLE second = nullptr)
    {
        window = std::make_shared<ScriptedWindow>(controller, std::move(script));
        window->closeAfterScript = closeAfterScript;
        const HANDLE firstHandle = first;
        EXPECT_TRUE(window->Run(managers->theme, managers->engine.animation, managers->localisation,
                                GetModuleHandleW(nullptr), &firstHandle, second));
        EXPECT_EQ(window->GetHandle(), nullptr) << "the run ends with the window";
    }

    // The form's animation timer at the given time.
    void Tick(double time)
    {
        managers->engine.now = time;
        window->OnTimer(F3::Form::kAnimationTimerId);
    }

    // A stage from the worker at the given time, followed through on the window thread until
    // the height has stopped moving.
    void Settle(InstallerStage stage, double time)
    {
        managers->engine.now = time;
        controller.SignalStage(stage);
        test::RunPosted();
        Tick(time);
        Tick(time + 5);
    }

    test::FakeController controller;
    std::unique_ptr<test::Managers> managers;
    std::shared_ptr<ScriptedWindow> window;
};

TEST_F(Stage1WindowTest, TheStageChoosesThePageTheHeightAndWhetherTheWindowShows)
{
    struct Case {
        const char* name;
        int stage;
        float height;
        bool shown;
        int page;
    };
    const Case cases[] = {
        {"a failure", Failed, 275, true, 2},
        {"installing hides the window and keeps the page", Installing, 180, false, 2},
        {"a failure while hidden shows the window again", Failed, 275, true, 2},
        {"a retry downloads again", Downloading, 180, true, 0},
        {"a second downloading switches nothing", Downloading, 180, true, 0},
        {"a failure again", Failed, 275, true, 2},
        {"an unknown stage changes only the height", 7, 180, true, 2},
        {"installing from the progress page", Installing, 180, false, 2},
    };
    Run([&](ScriptedWindow& w) {
        Tick(0);
        const auto& container = w.GetPageContainer();
        ASSERT_TRUE(container);
        EXPECT_EQ(container->GetCurrentKey(), 0);
        EXPECT_EQ(w.GetHeight(), 180);
        EXPECT_EQ(w.GetWidth(), 400);
        EXPECT_EQ(ClientSize(w.GetHandle()).cy, 180);
        EXPECT_EQ(ClientSize(w.GetHandle()).cx, 400);
        EXPECT_EQ(container->GetY(), 64);
        EXPECT_EQ(container->GetHeight(), 116);
        EXPECT_TRUE(IsWindowVisible(w.GetHandle()));
        EXPECT_TRUE(w.GetProgressPage()->IsVisibleFlag());
        EXPECT_FALSE(w.GetErrorPage()->IsVisibleFlag());
        EXPECT_EQ(GetFocus(), w.GetProgressPage()->GetProgressBar()->GetHandle())
            << "the page coming in takes the focus";

        double time = 0;
        float height = 180;
        for (const Case& c : cases) {
            time += 10;
            managers->engine.now = time;
            controller.SignalStage(static_cast<InstallerStage>(c.stage));
            EXPECT_EQ(w.GetAnimatedHeight(), height) << c.name << ": posted to the window thread";
            test::RunPosted();
            Tick(time);
            if (c.height != height) {
                // The height moves at 50 DIP a second.
                Tick(time + 0.5);
                EXPECT_NEAR(w.GetAnimatedHeight(), height + (c.height > height ? 25 : -25), 0.01) << c.name;
                EXPECT_NEAR(w.GetHeight(), w.GetAnimatedHeight(), 1) << c.name;
                EXPECT_TRUE(w.IsResizing()) << c.name;
            }
            Tick(time + 5);
            height = c.height;
            EXPECT_EQ(w.GetAnimatedHeight(), c.height) << c.name;
            EXPECT_FALSE(w.IsResizing()) << c.name;
            EXPECT_EQ(w.GetHeight(), c.height) << c.name;
            EXPECT_EQ(ClientSize(w.GetHandle()).cy, static_cast<LONG>(c.height)) << c.name;
            EXPECT_EQ(w.GetWidth(), 400) << c.name;
            EXPECT_EQ(container->GetHeight(), c.height - 64) << c.name;
            EXPECT_EQ(w.GetErrorPage()->GetHeight(), c.height - 64) << c.name;
            EXPECT_EQ(container->GetCurrentKey(), c.page) << c.name;
            EXPECT_EQ(IsWindowVisible(w.GetHandle()) != FALSE, c.shown) << c.name;
            EXPECT_EQ(w.GetProgressPage()->IsVisibleFlag(), c.page == 0) << c.name;
            EXPECT_EQ(w.GetErrorPage()->IsVisibleFlag(), c.page == 2) << c.name;
        }
    });
    EXPECT_EQ(window->closes, 1);
}

// After a failed resume the window opens when the attempt is over: it starts where the
// controller already is.
TEST_F(Stage1WindowTest, AWindowOpenedAfterAFailureStartsOnTheErrorPage)
{
    controller.stage = Failed;
    controller.errorState.canRetry = true;
    controller.errorState.errorCode = FatalError::DownloadFailure;
    Run([&](ScriptedWindow& w) {
        test::RunPosted();
        Tick(1);
        Tick(6);
        EXPECT_EQ(w.GetPageContainer()->GetCurrentKey(), 2);
        EXPECT_EQ(w.GetHeight(), 275);
        EXPECT_TRUE(IsWindowVisible(w.GetHandle()));
        EXPECT_TRUE(w.GetErrorPage()->GetTryAgainButton()->IsVisibleFlag());
        EXPECT_STREQ(w.GetErrorPage()->GetMessageKey(), L"setup.failure.download");
    });
}

TEST_F(Stage1WindowTest, TheHeaderShowsTheLocalisedTitleTakenOnceAndTheWindowKeepsItsName)
{
    managers->localisation->overrides[L"window.title"] = L"A title of the test";
    Run([&](ScriptedWindow& w) {
        ASSERT_TRUE(w.GetHeaderBar());
        EXPECT_EQ(w.GetHeaderBar()->GetTitle(), L"A title of the test");
        wchar_t text[64] = {};
        GetWindowTextW(w.GetHandle(), text, 64);
        EXPECT_STREQ(text, L"Halvex Vesk");
        EXPECT_NE(SendMessageW(w.GetHandle(), WM_GETICON, ICON_SMALL, 0), 0) << "the program's icon";
        EXPECT_NE(SendMessageW(w.GetHandle(), WM_GETICON, ICON_BIG, 0), 0);
        EXPECT_TRUE(w.GetHeaderBar()->GetChildren().empty()) << "no close or minimise button";

        managers->localisation->overrides[L"window.title"] = L"Another title";
        w.RefreshLocalisation();
        EXPECT_EQ(w.GetTitle(), L"Another title");
        EXPECT_EQ(w.GetHeaderBar()->GetTitle(), L"A title of the test") << "the header keeps the first";
    });

    managers->localisation->overrides.clear();
    Run([&](ScriptedWindow& w) {
        EXPECT_EQ(w.GetHeaderBar()->GetTitle(), L"Halvex Vesk") << "the carried table's title";
    });
}

TEST_F(Stage1WindowTest, SuccessFromTheWorkerClosesTheWindowBeforeTheWorkerGoesOn)
{
    std::thread worker;
    std::atomic<bool> openAfterSuccess{false};
    Run([&](ScriptedWindow& w) {
        Settle(Downloading, 1);
        const HWND handle = w.GetHandle();
        worker = std::thread([&, handle] {
            controller.successSignalled = true;
            controller.OnSuccess();
            openAfterSuccess = IsWindow(handle) != FALSE;
            // Only so that a window left open ends the run.
            if (openAfterSuccess)
                PostMessageW(handle, WM_CLOSE, 0, 0);
        });
        // Back to the run loop, which has to take the close while the worker waits.
    }, false);
    ASSERT_TRUE(worker.joinable()) << "the script never ran";
    worker.join();
    EXPECT_FALSE(openAfterSuccess) << "the success closes the window and waits for it";
    EXPECT_EQ(window->closes, 1);
}

TEST_F(Stage1WindowTest, ASuccessSignalledBeforeTheWindowExistsStillClosesIt)
{
    controller.successSignalled = true;
    Run([&](ScriptedWindow&) { ADD_FAILURE() << "the window stayed open after a success"; });
    EXPECT_FALSE(window->scriptRan);
    EXPECT_EQ(window->closes, 1);
}

TEST_F(Stage1WindowTest, TheSingleInstanceEventBringsTheWindowToTheFrontOnce)
{
    // The program's event is manual-reset: it stays signalled until reset.
    const HANDLE another = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE end = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(another && end);
    int topmostBefore = -1;
    Run(
        [&](ScriptedWindow& w) {
            ShowWindow(w.GetHandle(), SW_MINIMIZE);
            EXPECT_TRUE(IsIconic(w.GetHandle()));
            topmostBefore = w.topmostRequests;
            // Both at once: the loop answers the first handle before it looks at the second.
            SetEvent(another);
            SetEvent(end);
        },
        false, another, end);
    EXPECT_EQ(window->topmostRequests - topmostBefore, 1) << "one bring-to-front for one signal";
    EXPECT_FALSE(window->closedMinimised) << "restored";
    EXPECT_EQ(WaitForSingleObject(another, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the event was reset";
    EXPECT_EQ(window->closes, 1) << "the second handle closed the window";
    CloseHandle(another);
    CloseHandle(end);
}

TEST_F(Stage1WindowTest, TheErrorPageTakesTheFocusTabReachesItsButtonsAndEnterPressesOne)
{
    Run([&](ScriptedWindow& w) {
        controller.SignalErrorState(ErrorState{true, false, FatalError::DownloadFailure});
        Settle(Failed, 1);
        const auto& page = w.GetErrorPage();
        const HWND tryAgain = page->GetTryAgainButton()->GetHandle();
        const HWND download = page->GetDownloadButton()->GetHandle();
        const HWND cancel = page->GetCancelButton()->GetHandle();
        // The page takes the keyboard focus as it comes in and hands it to the row's first
        // button; Tab goes on in reading order, past the hidden Download.
        EXPECT_EQ(GetFocus(), tryAgain);
        SendMessageW(GetFocus(), WM_CHAR, VK_TAB, 0);
        EXPECT_EQ(GetFocus(), cancel);
        EXPECT_NE(GetFocus(), download) << "hidden";

        struct Case {
            HWND button;
            int test::FakeController::*counter;
        };
        for (const Case& c :
             {Case{cancel, &test::FakeController::closes}, Case{tryAgain, &test::FakeController::retries}}) {
            SetFocus(c.button);
            ASSERT_EQ(GetFocus(), c.button);
            controller.retries = controller.closes = 0;
            SendMessageW(c.button, WM_CHAR, VK_RETURN, 0);
            test::RunPosted();
            EXPECT_EQ(controller.*c.counter, 1);
            EXPECT_EQ(controller.retries + controller.closes, 1) << "only the focused button";
        }
    });
}

TEST_F(Stage1WindowTest, UiAutomationInvokesTheButtonsAndReadsTheProgress)
{
    struct Case {
        const char* name;
        ErrorState state;
        std::shared_ptr<F3::ButtonBase> (*button)(const ErrorPage&);
        const wchar_t* label;
        int test::FakeController::*counter;
    };
    const Case cases[] = {
        {"Try Again", ErrorState{true, false, FatalError::DownloadFailure},
         [](const ErrorPage& p) -> std::shared_ptr<F3::ButtonBase> { return p.GetTryAgainButton(); }, L"Try Again",
         &test::FakeController::retries},
        {"Cancel", ErrorState{true, false, FatalError::DownloadFailure},
         [](const ErrorPage& p) -> std::shared_ptr<F3::ButtonBase> { return p.GetCancelButton(); }, L"Cancel",
         &test::FakeController::closes},
        {"Download", ErrorState{false, true, FatalError::ExpiredFailure},
         [](const ErrorPage& p) -> std::shared_ptr<F3::ButtonBase> { return p.GetDownloadButton(); }, L"Download",
         &test::FakeController::expiredPages},
    };
    Run([&](ScriptedWindow& w) {
        Settle(Downloading, 1);
        const Client bar(w.GetProgressPage()->GetProgressBar()->GetProvider());
        ASSERT_TRUE(bar.Connected());
        EXPECT_EQ(bar.RangeValue(), 0.0);
        managers->engine.now = 10;
        controller.SignalProgress(50);
        test::RunPosted();
        Tick(10);
        Tick(10.5);
        EXPECT_NEAR(bar.RangeValue().value_or(-1), 25, 1e-3) << "the value the bar shows, as it glides";
        Tick(11);
        EXPECT_EQ(bar.RangeValue(), 50.0);

        double time = 20;
        for (const Case& c : cases) {
            controller.SignalErrorState(c.state);
            Settle(Failed, time);
            time += 10;
            controller.retries = controller.expiredPages = controller.closes = 0;
            const Client page(w.GetErrorPage()->GetProvider());
            ASSERT_TRUE(page.Connected()) << c.name;
            EXPECT_EQ(page.Name(), L"There was a problem") << c.name;
            EXPECT_EQ(page.HelpText(), L"There was a problem " + w.GetErrorPage()->GetMessage()) << c.name;
            EXPECT_FALSE(w.GetErrorPage()->GetMessage().empty()) << c.name;
            const Client button(c.button(*w.GetErrorPage())->GetProvider());
            ASSERT_TRUE(button.Connected()) << c.name;
            EXPECT_EQ(button.Name(), c.label) << c.name;
            EXPECT_EQ(button.Invoke(), S_OK) << c.name;
            EXPECT_EQ(controller.*c.counter, 0) << c.name << ": posted to the window thread";
            test::RunPosted();
            EXPECT_EQ(controller.*c.counter, 1) << c.name;
            EXPECT_EQ(controller.retries + controller.expiredPages + controller.closes, 1) << c.name;
            // A retry goes back to the progress page before the next failure.
            Settle(Downloading, time);
            time += 10;
        }
    });
}

// The window's back buffer, painted as the pump paints it, kept as a PNG file of the build; and
// a few of its pixels against the window's sizes and colours.
TEST_F(Stage1WindowTest, ScreenshotsOfEachPageAtTwoScales)
{
    struct Shot {
        const wchar_t* name;
        int dpi;
        bool failed;
        ErrorState state;
        bool tryAgain;
        bool download;
    };
    const Shot shots[] = {
        {L"stage1-window-progress-96dpi", 96, false, {}, false, false},
        {L"stage1-window-error-download-failure-96dpi", 96, true, ErrorState{true, false, FatalError::DownloadFailure},
         true, false},
        {L"stage1-window-error-expired-96dpi", 96, true, ErrorState{false, true, FatalError::ExpiredFailure}, false, true},
        {L"stage1-window-error-cancel-only-96dpi", 96, true, ErrorState{false, false, FatalError::LaunchFailure}, false,
         false},
        {L"stage1-window-progress-144dpi", 144, false, {}, false, false},
        {L"stage1-window-error-download-failure-144dpi", 144, true, ErrorState{true, false, FatalError::DownloadFailure},
         true, false},
    };
    constexpr Gdiplus::ARGB kHeader = 0xFFEFF0F2;
    constexpr Gdiplus::ARGB kWhite = 0xFFFFFFFF;
    constexpr Gdiplus::ARGB kBlue = 0xFF1E50D8;
    constexpr Gdiplus::ARGB kRed = 0xFFE55454;
    for (const Shot& shot : shots) {
        const std::string context(shot.name, shot.name + wcslen(shot.name));
        window.reset();
        F3::DpiScale::SetForTesting(shot.dpi, shot.dpi);
        managers = std::make_unique<test::Managers>();
        controller.stage = Downloading;
        const float scale = shot.dpi / 96.0f;
        const float height = shot.failed ? 275.0f : 180.0f;
        Run([&](ScriptedWindow& w) {
            Tick(0);
            if (shot.failed) {
                controller.SignalErrorState(shot.state);
                Settle(Failed, 1);
            } else {
                managers->engine.now = 1;
                controller.SignalProgress(50);
                test::RunPosted();
                Tick(1);
                Tick(3);
            }
            F3::PaintTree(w, *w.GetBackBufferGraphics(), w.GetClientRect());
            Gdiplus::Bitmap& bitmap = *w.GetBackBuffer();
            test::SaveScreenshot(bitmap, shot.name);

            // 400 x 180 or 275 DIP: 600 x 270 or 412 pixels at 144 DPI.
            EXPECT_EQ(bitmap.GetWidth(), static_cast<UINT>(400 * scale)) << context;
            EXPECT_EQ(bitmap.GetHeight(), static_cast<UINT>(height * scale)) << context;
            const auto pixel = [&](float x, float y) {
                Gdiplus::Color colour;
                bitmap.GetPixel(static_cast<int>(x * scale), static_cast<int>(y * scale), &colour);
                return colour.GetValue();
            };
            for (const auto& [x, y] : {std::pair{390.0f, 2.0f}, {390.0f, 62.0f}, {200.0f, 62.0f}, {10.0f, 32.0f}})
                EXPECT_EQ(pixel(x, y), kHeader) << context << ": the header at " << x << ", " << y;
            for (const auto& [x, y] :
                 {std::pair{390.0f, 66.0f}, {10.0f, 66.0f}, {5.0f, height - 3}, {395.0f, height - 3}})
                EXPECT_EQ(pixel(x, y), kWhite) << context << ": the page at " << x << ", " << y;

            if (!shot.failed) {
                // The bar at 24, 64 + 72, half filled.
                const Gdiplus::Color filled(pixel(24 + 88, 64 + 78));
                EXPECT_NEAR(filled.GetR(), 44, 2) << context;
                EXPECT_NEAR(filled.GetG(), 121, 2) << context;
                EXPECT_NEAR(filled.GetB(), 223, 2) << context;
                const Gdiplus::Color empty(pixel(24 + 300, 64 + 78));
                EXPECT_NEAR(empty.GetR(), 242, 2) << context;
                EXPECT_NEAR(empty.GetB(), 245, 2) << context;
                return;
            }
            // The red heading under the header.
            int red = 0;
            for (float y = 64 + 24; y < 64 + 48; y += 1 / scale) {
                for (float x = 24; x < 376; x += 1 / scale) {
                    const Gdiplus::Color colour(pixel(x, y));
                    if (colour.GetR() > 200 && colour.GetG() < 130 && colour.GetB() < 130)
                        ++red;
                }
            }
            EXPECT_GT(red, 20) << context << ": the heading";
            // Each shown button's face just below its top edge, clear of the label.
            const auto& page = *w.GetErrorPage();
            const auto face = [&](const F3::ButtonBase& button) {
                return pixel(button.GetX() + 24, 64 + button.GetY() + 5);
            };
            if (shot.tryAgain) {
                EXPECT_EQ(face(*page.GetTryAgainButton()), kBlue) << context;
            }
            if (shot.download) {
                EXPECT_EQ(face(*page.GetDownloadButton()), kBlue) << context;
            }
            EXPECT_EQ(face(*page.GetCancelButton()), kRed) << context;
            const Gdiplus::ARGB first = shot.tryAgain || shot.download ? kBlue : kRed;
            EXPECT_EQ(pixel(34, 64 + 159), first) << context << ": the first face of the row, left of its label";
        });
    }
}

}  // namespace
}  // namespace S1::UI
