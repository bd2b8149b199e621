#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "Stage1UI/ErrorPage.h"
#include "Stage1UITestSupport.h"
#include "support/GdiplusSession.h"

namespace S1::UI {
namespace {

using Setup::FatalError;

constexpr wchar_t kUnknownKey[] = L"setup.failure.unknown";
constexpr wchar_t kDownloadKey[] = L"setup.failure.download";
constexpr wchar_t kExpiredKey[] = L"setup.failure.expired";

bool WindowShown(const F3::Component& component)
{
    return (GetWindowLongW(component.GetHandle(), GWL_STYLE) & WS_VISIBLE) != 0;
}

class ErrorPageTest : public test::PageTest<ErrorPage> {
protected:
    // Below the header of the 275-high window.
    void Create()
    {
        CreatePage(211);
        ASSERT_NE(page->GetHandle(), nullptr);
        for (F3::Component* button : Buttons())
            ASSERT_TRUE(button && button->GetHandle());
    }

    std::vector<F3::Component*> Buttons() const
    {
        return {page->GetTryAgainButton().get(), page->GetDownloadButton().get(), page->GetCancelButton().get()};
    }

    // A state the worker signals, as the window thread gets to it.
    void Apply(const ErrorState& state)
    {
        controller.SignalErrorState(state);
        test::RunPosted();
    }
};

TEST_F(ErrorPageTest, TheMessageFollowsTheFailureCode)
{
    struct Case {
        std::optional<FatalError::Type> code;
        const wchar_t* key;
        const wchar_t* message;
    };
    const wchar_t* const download = L"An internet connection is required to install Halvex Vesk.";
    const wchar_t* const expired = L"A new version is available. Download it from Halvex Vesk.";
    const wchar_t* const unknown = L"An unexpected error occurred while installing Halvex Vesk.";
    std::vector<Case> cases = {{FatalError::DownloadFailure, kDownloadKey, download},
                               {std::nullopt, kUnknownKey, unknown},
                               {FatalError::ExpiredFailure, kExpiredKey, expired}};
    for (const int code : {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 99, -1}) {
        cases.push_back({static_cast<FatalError::Type>(code), kUnknownKey, unknown});
        cases.push_back({FatalError::DownloadFailure, kDownloadKey, download});
    }

    Create();
    EXPECT_STREQ(page->GetMessageKey(), kUnknownKey) << "before any failure";
    EXPECT_EQ(page->GetMessage(), unknown);
    for (const Case& c : cases) {
        const std::string context = c.code ? "code " + std::to_string(*c.code) : "no code";
        const std::wstring before = page->GetMessageKey();
        controller.SignalErrorState(ErrorState{true, false, c.code});
        EXPECT_EQ(page->GetMessageKey(), before) << context << ": posted to the window thread";
        test::RunPosted();
        EXPECT_STREQ(page->GetMessageKey(), c.key) << context;
        EXPECT_EQ(ErrorPage::MessageKeyFor(c.code), std::wstring(c.key)) << context;
        EXPECT_EQ(page->GetMessage(), c.message) << context;
        EXPECT_EQ(page->GetTitle(), L"There was a problem") << context;
        EXPECT_EQ(page->GetName(), L"There was a problem") << context;
        EXPECT_EQ(page->GetHelpText(), L"There was a problem " + std::wstring(c.message)) << context;
    }
}

TEST_F(ErrorPageTest, TheButtonRowFollowsTheErrorState)
{
    struct Case {
        const char* name;
        ErrorState state;
        bool tryAgain;
        bool download;
    };
    // In order: each state replaces the one before, as the controller's signals do.
    const Case cases[] = {
        {"a download failure that can be retried", ErrorState{true, false, FatalError::DownloadFailure}, true, false},
        {"the empty state of a new attempt", ErrorState{false, false, std::nullopt}, false, false},
        {"an expired installer", ErrorState{false, true, FatalError::ExpiredFailure}, false, true},
        {"the empty state after an expired one", ErrorState{false, false, std::nullopt}, false, false},
        {"a retry again", ErrorState{true, false, FatalError::Unknown}, true, false},
        {"a failure that can be neither retried nor downloaded", ErrorState{false, false, FatalError::LaunchFailure},
         false, false},
        {"expired after a retry", ErrorState{false, true, FatalError::ExpiredFailure}, false, true},
    };
    Create();
    const auto& tryAgain = page->GetTryAgainButton();
    const auto& download = page->GetDownloadButton();
    const auto& cancel = page->GetCancelButton();
    for (const Case& c : cases) {
        Apply(c.state);
        struct Shown {
            const char* name;
            const F3::ButtonBase* button;
            bool shown;
        };
        for (const Shown& s : {Shown{"Try Again", tryAgain.get(), c.tryAgain},
                               Shown{"Download", download.get(), c.download}, Shown{"Cancel", cancel.get(), true}}) {
            EXPECT_EQ(s.button->IsVisibleFlag(), s.shown) << c.name << ": " << s.name;
            EXPECT_EQ(WindowShown(*s.button), s.shown) << c.name << ": " << s.name;
            EXPECT_EQ(s.button->IsEnabled(), s.shown) << c.name << ": " << s.name;
        }

        const F3::ButtonBase* first = c.tryAgain ? static_cast<const F3::ButtonBase*>(tryAgain.get())
                                                 : (c.download ? download.get() : nullptr);
        if (first) {
            EXPECT_EQ(first->GetX(), 24) << c.name;
            EXPECT_EQ(first->GetY(), 139) << c.name;
            EXPECT_EQ(cancel->GetX(), first->GetX() + first->GetWidth() + 12) << c.name << ": 12 right of it";
        } else {
            EXPECT_EQ(cancel->GetX(), 12) << c.name << ": alone";
        }
        EXPECT_EQ(cancel->GetY(), 139) << c.name;
        RECT area{};
        GetWindowRect(cancel->GetHandle(), &area);
        MapWindowPoints(HWND_DESKTOP, page->GetHandle(), reinterpret_cast<POINT*>(&area), 2);
        EXPECT_EQ(area.left, static_cast<LONG>(cancel->GetX())) << c.name << ": the window follows";
        EXPECT_EQ(area.top, 139) << c.name;
    }
}

TEST_F(ErrorPageTest, EachButtonDrivesItsControllerActionByMouseAndByEnter)
{
    struct Case {
        const char* name;
        ErrorState state;
        std::shared_ptr<F3::ButtonBase> (*button)(const ErrorPage&);
        int test::FakeController::*counter;
        const wchar_t* label;
    };
    const Case cases[] = {
        {"Try Again", ErrorState{true, false, FatalError::DownloadFailure},
         [](const ErrorPage& p) -> std::shared_ptr<F3::ButtonBase> { return p.GetTryAgainButton(); },
         &test::FakeController::retries, L"Try Again"},
        {"Download", ErrorState{false, true, FatalError::ExpiredFailure},
         [](const ErrorPage& p) -> std::shared_ptr<F3::ButtonBase> { return p.GetDownloadButton(); },
         &test::FakeController::expiredPages, L"Download"},
        {"Cancel beside Try Again", ErrorState{true, false, FatalError::DownloadFailure},
         [](const ErrorPage& p) -> std::shared_ptr<F3::ButtonBase> { return p.GetCancelButton(); },
         &test::FakeController::closes, L"Cancel"},
        {"Cancel alone", ErrorState{false, false, FatalError::Unknown},
         [](const ErrorPage& p) -> std::shared_ptr<F3::ButtonBase> { return p.GetCancelButton(); },
         &test::FakeController::closes, L"Cancel"},
    };
    Create();
    for (const Case& c : cases) {
        Apply(c.state);
        controller.retries = controller.expiredPages = controller.closes = 0;
        const std::shared_ptr<F3::ButtonBase> button = c.button(*page);
        EXPECT_EQ(button->GetName(), c.label) << c.name;

        test::Click(*button);
        EXPECT_EQ(controller.*c.counter, 1) << c.name << ": a click";
        test::PressEnter(*button);
        test::RunPosted();
        EXPECT_EQ(controller.*c.counter, 2) << c.name << ": Enter";
        EXPECT_EQ(controller.retries + controller.expiredPages + controller.closes, 2) << c.name << ": nothing else";
    }
}

TEST_F(ErrorPageTest, ANewLanguageChangesHeadingMessageAndLabels)
{
    Create();
    Apply(ErrorState{false, true, FatalError::ExpiredFailure});
    ASSERT_EQ(page->GetTitle(), L"There was a problem");
    ASSERT_EQ(page->GetDownloadButton()->GetLabel(), L"Download");

    managers->localisation->Use(L"fr-FR");
    EXPECT_EQ(page->GetTitle(), L"There was a problem") << "nothing changes until the texts are taken again";
    page->ApplyLocalisation();
    for (F3::Component* button : Buttons())
        button->ApplyLocalisation();
    EXPECT_EQ(page->GetTitle(), L"Un problème est survenu");
    EXPECT_EQ(page->GetName(), L"Un problème est survenu");
    EXPECT_EQ(page->GetMessage(), L"Une nouvelle version est disponible. Téléchargez-la depuis Halvex Vesk.");
    EXPECT_EQ(page->GetHelpText(), L"Un problème est survenu Une nouvelle version est disponible. "
                                   L"Téléchargez-la depuis Halvex Vesk.");
    EXPECT_EQ(page->GetTryAgainButton()->GetLabel(), L"Réessayer");
    EXPECT_EQ(page->GetDownloadButton()->GetLabel(), L"Télécharger");
    EXPECT_EQ(page->GetCancelButton()->GetLabel(), L"Annuler");

    // The next failure is told in the new language.
    Apply(ErrorState{true, false, FatalError::DownloadFailure});
    EXPECT_EQ(page->GetMessage(), L"Une connexion Internet est nécessaire pour installer Halvex Vesk.");
}

}  // namespace
}  // namespace S1::UI
