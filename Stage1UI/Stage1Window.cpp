#include "Stage1UI/Stage1Window.h"

#include "F3/HeaderBar.h"

namespace S1::UI {

F3::HeaderBarSettings Stage1Window::HeaderSettings()
{
    F3::HeaderBarSettings settings;
    settings.buttonSize = 24.0f;
    settings.buttonRightMargin = 12.0f;
    settings.buttonGap = 8.0f;
    settings.buttonTop = 6.0f;
    settings.closeIconId = 0;
    settings.minimiseIconId = 0;
    settings.logoImageId = 4001;
    settings.logoWidth = 24.0f;
    settings.logoHeight = 24.0f;
    settings.logoLeft = 24.0f;
    settings.logoTop = 20.0f;
    settings.titleLeft = 60.0f;
    settings.titleTop = 19.0f;
    return settings;
}

Stage1Window::Stage1Window(ControllerInterfaces controller)
    : Form(L"Halvex Vesk", kHeaderHeight, kWidth, kHeight, HeaderSettings()), controller(controller)
{
}

void Stage1Window::OnCreate()
{
    const int iconWidth = GetSystemMetrics(SM_CXSMICON);
    const int iconHeight = GetSystemMetrics(SM_CYSMICON);
    const auto loadIcon = [&] {
        return static_cast<HICON>(
            LoadImageW(GetInstance(), MAKEINTRESOURCEW(kIconId), IMAGE_ICON, iconWidth, iconHeight, LR_DEFAULTSIZE));
    };
    SetIcons(loadIcon(), loadIcon());
    Form::OnCreate();
    if (GetHeaderBar())
        GetHeaderBar()->SetTitle(title);

    progressPage = std::make_shared<ProgressPage>(&controller.progress);
    errorPage = std::make_shared<ErrorPage>(&controller.error);
    pageContainer = std::make_shared<F3::PageContainer>(kProgressPageKey, 0.0f, kHeaderHeight, GetWidth(),
                                                        GetHeight() - kHeaderHeight, progressPage);
    pageContainer->AddPage(kErrorPageKey, errorPage);
    AddChild(pageContainer);
    resizeConnection = resized.connect([this] {
        if (pageContainer)
            pageContainer->SetSize(GetWidth(), GetHeight() - kHeaderHeight);
    });

    const std::weak_ptr<F3::Component> weak = weak_from_this();
    stageConnection = controller.stage.OnStage.connect([weak](InstallerStage stage) {
        if (const auto self = std::static_pointer_cast<Stage1Window>(weak.lock()))
            self->ProcessStage(stage);
    });
    ProcessStage(controller.stage.stage);

    // Close waits for the window thread, so the worker that signals success waits until the
    // window is gone.
    successConnection = controller.success.OnSuccess.connect([weak] {
        if (const auto self = std::static_pointer_cast<Stage1Window>(weak.lock()))
            self->Close();
    });
    // A success signalled before the connection above would otherwise leave the window open
    // (and hidden, once stage 2 installs) for ever. The window is still being created here, so
    // the close is posted.
    if (controller.success.successSignalled)
        PostMessageW(GetHandle(), WM_CLOSE, 0, 0);
}

void Stage1Window::ApplyLocalisation()
{
    Form::ApplyLocalisation();
    if (GetLocalisationManager())
        title = GetLocalisationManager()->Get(L"window.title");
}

void Stage1Window::ProcessStage(InstallerStage stage)
{
    const auto self = std::static_pointer_cast<Stage1Window>(shared_from_this());
    Invoke(
        [self, stage] {
            self->SetHeightAnimated(stage == Failed ? kErrorHeight : kHeight);
            switch (stage) {
            case Downloading:
            case Failed:
                self->SetVisible(true);
                if (self->pageContainer)
                    self->pageContainer->ShowPage(static_cast<int>(stage), false);
                break;
            case Installing:
                self->SetVisible(false);
                break;
            default:
                break;
            }
        },
        false);
}

}  // namespace S1::UI
