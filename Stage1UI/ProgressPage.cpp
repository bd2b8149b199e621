#include "Stage1UI/ProgressPage.h"

#include <variant>

#include "F3/TextDrawing.h"

namespace S1::UI {

ProgressPage::ProgressPage(IProgressController* controller) : Page(0, 0, 0, 0), controller(controller)
{
    AddTypeNames({"page", "progress"});
}

void ProgressPage::OnCreate()
{
    Page::OnCreate();
    progressBar = std::make_shared<F3::ProgressBar>(24.0f, 72.0f, 352.0f, 12.0f);
    AddChild(progressBar);
    if (!controller)
        return;
    // The signal fires on the attempt's worker; the bar changes on the window thread only.
    const std::weak_ptr<F3::Component> weak = weak_from_this();
    progressConnection = controller->OnProgress.connect([weak](ProgressState state) {
        const auto self = std::static_pointer_cast<ProgressPage>(weak.lock());
        if (!self)
            return;
        self->Invoke(
            [self, state] {
                if (self->progressBar)
                    self->progressBar->SetValue(static_cast<float>(state.percent));
            },
            false);
    });
}

void ProgressPage::ApplyTheme()
{
    Page::ApplyTheme();
    SetBackgroundColour(std::get<Gdiplus::Color>(GetThemeValue("colour-background")));
    font = std::get<std::shared_ptr<Gdiplus::Font>>(GetThemeValue("font"));
    fontColour = std::get<Gdiplus::Color>(GetThemeValue("colour-font")).GetValue();
}

void ProgressPage::ApplyLocalisation()
{
    Page::ApplyLocalisation();
    if (GetLocalisationManager())
        title = GetLocalisationManager()->Get(L"stage1.progress.downloading");
}

void ProgressPage::Paint(Gdiplus::Graphics& graphics)
{
    Page::Paint(graphics);
    const Gdiplus::StringFormat format;
    F3::DrawTextBlock(graphics, font, title, format, Gdiplus::Color(fontColour),
                      Gdiplus::RectF(24.0f, 32.0f, GetWidth() - 24.0f, GetHeight() - 32.0f));
}

std::wstring ProgressPage::GetName() const { return title; }

}  // namespace S1::UI
