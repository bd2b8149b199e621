#pragma once

#include <memory>
#include <string>

#include <boost/signals2/connection.hpp>

#include "F3/Page.h"
#include "F3/ProgressBar.h"
#include "Installer/SetupControllerInterfaces.h"

namespace S1::UI {

// The page shown while an attempt downloads: a heading and a bar that follows the controller's
// progress.
class ProgressPage : public F3::Page {
public:
    explicit ProgressPage(IProgressController* controller);

    void OnCreate() override;
    void ApplyTheme() override;
    void ApplyLocalisation() override;
    void Paint(Gdiplus::Graphics& graphics) override;
    std::wstring GetName() const override;

    const std::shared_ptr<F3::ProgressBar>& GetProgressBar() const { return progressBar; }
    const std::wstring& GetTitle() const { return title; }

private:
    std::wstring title;
    IProgressController* controller;
    std::shared_ptr<F3::ProgressBar> progressBar;
    std::shared_ptr<Gdiplus::Font> font;
    Gdiplus::ARGB fontColour = 0xFF000000;
    boost::signals2::scoped_connection progressConnection;
};

}  // namespace S1::UI
