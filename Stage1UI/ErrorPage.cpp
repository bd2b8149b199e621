#include "Stage1UI/ErrorPage.h"

#include <variant>

#include "F3/PngImage.h"
#include "F3/TextDrawing.h"
#include "Resources/ResourceIds.h"

namespace S1::UI {
namespace {

constexpr wchar_t kUnknownFailureKey[] = L"setup.failure.unknown";
const F3::ButtonSize kButtonSize{120.0f, 40.0f, 40.0f, 25.0f};
const F3::ShadowInsets kButtonInsets{4.0f, 10.0f, 4.0f, 10.0f};
constexpr float kButtonRight = 24.0f;

}  // namespace

ErrorPage::ErrorPage(IErrorController* controller)
    : Page(0, 0, 0, 0), controller(controller), messageKey(kUnknownFailureKey)
{
    AddTypeNames({"page", "error"});
}

const wchar_t* ErrorPage::MessageKeyFor(std::optional<Setup::FatalError::Type> code)
{
    switch (code.value_or(static_cast<Setup::FatalError::Type>(0))) {
    case Setup::FatalError::DownloadFailure:
        return L"setup.failure.download";
    case Setup::FatalError::ExpiredFailure:
        return L"setup.failure.expired";
    default:
        return kUnknownFailureKey;
    }
}

void ErrorPage::OnCreate()
{
    Page::OnCreate();
    IErrorController* const errors = controller;
    tryAgainButton = std::make_shared<F3::ShadowButton>(
        [errors] {
            if (errors)
                errors->Retry();
        },
        L"stage1.error.tryagain", kButtonRight, kButtonTop, std::vector<std::string>{"blue"}, kButtonSize,
        kButtonInsets);
    AddChild(tryAgainButton);

    std::shared_ptr<F3::PngImage> image = F3::PngImage::Load(IDR_IMAGE_DOWNLOAD);
    downloadButton = std::make_shared<F3::ShadowImageButton>(
        [errors] {
            if (errors)
                errors->OpenExpiredPage();
        },
        L"stage1.error.download", kButtonRight, kButtonTop, std::vector<std::string>{"blue"}, kButtonSize,
        kButtonInsets, std::move(image));
    downloadButton->SetVisible(false);
    AddChild(downloadButton);

    cancelButton = std::make_shared<F3::ShadowButton>(
        [errors] {
            if (errors)
                errors->Close();
        },
        L"stage1.error.cancel", kButtonRight, kButtonTop, std::vector<std::string>{"red"}, kButtonSize, kButtonInsets);
    AddChild(cancelButton);

    // The buttons' windows now, so that they measure their labels before the first layout.
    for (const auto& button : {std::static_pointer_cast<F3::Component>(tryAgainButton),
                               std::static_pointer_cast<F3::Component>(downloadButton),
                               std::static_pointer_cast<F3::Component>(cancelButton)}) {
        if (!button->GetHandle() && GetHandle())
            button->Create();
    }
    LayoutButtons();
    tryAgainVisibilityConnection = tryAgainButton->visibilityChanged.connect([this] { LayoutButtons(); });
    downloadVisibilityConnection = downloadButton->visibilityChanged.connect([this] { LayoutButtons(); });

    if (controller) {
        // The signal fires on the attempt's worker; the page changes on the window thread only.
        const std::weak_ptr<F3::Component> weak = weak_from_this();
        errorStateConnection = controller->OnErrorState.connect([weak](ErrorState state) {
            const auto self = std::static_pointer_cast<ErrorPage>(weak.lock());
            if (!self)
                return;
            self->Invoke([self, state] { self->ApplyErrorState(state); }, false);
        });
        ApplyErrorState(controller->errorState);
    }
}

void ErrorPage::ApplyErrorState(const ErrorState& state)
{
    if (!tryAgainButton)
        return;
    tryAgainButton->SetVisible(state.canRetry);
    tryAgainButton->SetEnabled(state.canRetry);
    downloadButton->SetVisible(state.expired);
    downloadButton->SetEnabled(state.expired);
    // Showing a button moves it last among the children, and the keyboard goes through them in
    // that order: put the row back in its reading order, Cancel last.
    tryAgainButton->BringToTop();
    downloadButton->BringToTop();
    cancelButton->BringToTop();
    messageKey = MessageKeyFor(state.errorCode);
    if (GetLocalisationManager()) {
        ApplyLocalisation();
        Invalidate();
    }
    LayoutButtons();
}

void ErrorPage::LayoutButtons()
{
    if (!tryAgainButton || !downloadButton || !cancelButton)
        return;
    float offset = cancelButton->GetWidth() + 12.0f;
    F3::ButtonBase* first = nullptr;
    if (tryAgainButton->IsEnabled())
        first = tryAgainButton.get();
    else if (downloadButton->IsEnabled())
        first = downloadButton.get();
    if (first) {
        first->SetPosition(first->GetWidth() + 24.0f, kButtonTop);
        offset = first->GetX() + first->GetWidth() + offset;
    }
    cancelButton->SetPosition(offset, kButtonTop);
}

void ErrorPage::ApplyTheme()
{
    Page::ApplyTheme();
    SetBackgroundColour(std::get<Gdiplus::Color>(GetThemeValue("colour-background")));
    titleFont = std::get<std::shared_ptr<Gdiplus::Font>>(GetThemeValue("font-title"));
    messageFont = std::get<std::shared_ptr<Gdiplus::Font>>(GetThemeValue("font-subtitle"));
    titleColour = std::get<Gdiplus::Color>(GetThemeValue("colour-font-title")).GetValue();
    messageColour = std::get<Gdiplus::Color>(GetThemeValue("colour-font-subtitle")).GetValue();
}

void ErrorPage::ApplyLocalisation()
{
    Page::ApplyLocalisation();
    if (!GetLocalisationManager())
        return;
    title = GetLocalisationManager()->Get(L"stage1.error.title");
    message = GetLocalisationManager()->Get(messageKey);
}

void ErrorPage::Paint(Gdiplus::Graphics& graphics)
{
    Page::Paint(graphics);
    const Gdiplus::StringFormat format;
    const float left = 24.0f;
    const float right = GetWidth() - 24.0f;
    const float bottom = GetHeight();
    float top = 24.0f;
    const float used = F3::DrawTextBlock(graphics, titleFont, title, format, Gdiplus::Color(titleColour),
                                         Gdiplus::RectF(left, top, right - left, bottom - top));
    top += used + 16.0f;
    F3::DrawTextBlock(graphics, messageFont, message, format, Gdiplus::Color(messageColour),
                      Gdiplus::RectF(left, top, right - left, bottom - top));
}

std::wstring ErrorPage::GetName() const { return title; }

std::optional<std::wstring> ErrorPage::GetHelpText() const { return title + L" " + message; }

}  // namespace S1::UI
