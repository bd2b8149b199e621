#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "F3/AccessibleComponent.h"
#include "F3/CloseComponent.h"
#include "F3/HeaderBarSettings.h"
#include "F3/MinimiseComponent.h"
#include "F3/PngImage.h"
#include "F3/WindowTitleAccessibilityProvider.h"

namespace F3 {

// The title strip at the top of a form: background, logo, title and the optional minimise and
// close buttons. Presses on the strip itself fall through to the form.
class HeaderBar : public AccessibleComponent<Accessibility::WindowTitleAccessibilityProvider,
                                             Accessibility::ITitleAccessibilityExtension> {
public:
    // owner is the form's window, which the title-bar buttons command.
    HeaderBar(HWND owner, float width, float height, HeaderBarSettings settings);

    void ApplyTheme() override;
    void OnCreate() override;
    void Paint(Gdiplus::Graphics& graphics) override;

    void SetTitle(std::wstring title);
    const std::wstring& GetTitle() const { return title; }
    const HeaderBarSettings& GetSettings() const { return settings; }
    const std::shared_ptr<MinimiseComponent>& GetMinimiseButton() const { return minimiseButton; }
    const std::shared_ptr<CloseComponent>& GetCloseButton() const { return closeButton; }
    bool HasLogo() const { return logo != nullptr; }
    Gdiplus::ARGB GetFontColour() const { return fontColour; }

private:
    std::unique_ptr<PngImage> logo;
    std::shared_ptr<MinimiseComponent> minimiseButton;
    std::shared_ptr<CloseComponent> closeButton;
    Gdiplus::ARGB fontColour = 0xFF000000;
    HeaderBarSettings settings;
    HWND owner;
    std::wstring title;
};

}  // namespace F3
