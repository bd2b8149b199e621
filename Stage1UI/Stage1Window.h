#pragma once

#include <memory>
#include <string>

#include <boost/signals2/connection.hpp>

#include "F3/Form.h"
#include "F3/PageContainer.h"
#include "Stage1UI/ControllerInterfaces.h"
#include "Stage1UI/ErrorPage.h"
#include "Stage1UI/ProgressPage.h"

namespace S1::UI {

// The installer's one window. It follows the controller's stage: the progress page while
// downloading, the taller error page after a failure, hidden while stage 2 installs, and closed
// once the controller signals success.
class Stage1Window : public F3::Form {
public:
    static constexpr float kHeaderHeight = 64.0f;
    static constexpr float kWidth = 400.0f;
    static constexpr float kHeight = 180.0f;
    static constexpr float kErrorHeight = 275.0f;
    static constexpr int kProgressPageKey = 0;
    static constexpr int kErrorPageKey = 2;
    static constexpr int kIconId = 101;

    static F3::HeaderBarSettings HeaderSettings();

    explicit Stage1Window(ControllerInterfaces controller);

    void OnCreate() override;
    void ApplyLocalisation() override;

    const std::shared_ptr<F3::PageContainer>& GetPageContainer() const { return pageContainer; }
    const std::shared_ptr<ProgressPage>& GetProgressPage() const { return progressPage; }
    const std::shared_ptr<ErrorPage>& GetErrorPage() const { return errorPage; }
    const std::wstring& GetTitle() const { return title; }

private:
    // Any thread: the work is posted to the window thread.
    void ProcessStage(InstallerStage stage);

    ControllerInterfaces controller;
    std::shared_ptr<F3::PageContainer> pageContainer;
    std::shared_ptr<ProgressPage> progressPage;
    std::shared_ptr<ErrorPage> errorPage;
    std::wstring title;
    boost::signals2::scoped_connection resizeConnection;
    boost::signals2::scoped_connection stageConnection;
    boost::signals2::scoped_connection successConnection;
};

}  // namespace S1::UI
