#pragma once

#include <memory>
#include <optional>
#include <string>

#include <boost/signals2/connection.hpp>

#include "F3/Page.h"
#include "F3/ShadowButton.h"
#include "F3/ShadowImageButton.h"
#include "Installer/SetupControllerInterfaces.h"

namespace S1::UI {

// The page shown after a failed attempt: a heading, the failure's message, and Try Again,
// Download and Cancel as the last error state allows.
class ErrorPage : public F3::Page {
public:
    static constexpr float kButtonTop = 139.0f;

    explicit ErrorPage(IErrorController* controller);

    // The message key of a failure code; no code or an unknown one is the unexpected failure.
    static const wchar_t* MessageKeyFor(std::optional<Setup::FatalError::Type> code);

    void OnCreate() override;
    void ApplyTheme() override;
    void ApplyLocalisation() override;
    void Paint(Gdiplus::Graphics& graphics) override;
    std::wstring GetName() const override;
    std::optional<std::wstring> GetHelpText() const override;

    // Window thread only.
    void ApplyErrorState(const ErrorState& state);

    const std::shared_ptr<F3::ShadowButton>& GetTryAgainButton() const { return tryAgainButton; }
    const std::shared_ptr<F3::ShadowImageButton>& GetDownloadButton() const { return downloadButton; }
    const std::shared_ptr<F3::ShadowButton>& GetCancelButton() const { return cancelButton; }
    const std::wstring& GetTitle() const { return title; }
    const std::wstring& GetMessage() const { return message; }
    const wchar_t* GetMessageKey() const { return messageKey; }

private:
    void LayoutButtons();

    IErrorController* controller;
    std::wstring title;
    const wchar_t* messageKey;
    std::wstring message;
    std::shared_ptr<F3::ShadowButton> tryAgainButton;
    std::shared_ptr<F3::ShadowImageButton> downloadButton;
    std::shared_ptr<F3::ShadowButton> cancelButton;
    boost::signals2::scoped_connection tryAgainVisibilityConnection;
    boost::signals2::scoped_connection downloadVisibilityConnection;
    boost::signals2::scoped_connection errorStateConnection;
    std::shared_ptr<Gdiplus::Font> titleFont;
    std::shared_ptr<Gdiplus::Font> messageFont;
    Gdiplus::ARGB titleColour = 0xFF000000;
    Gdiplus::ARGB messageColour = 0xFF000000;
};

}  // namespace S1::UI
