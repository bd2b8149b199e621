#pragma once

#include "Installer/SetupControllerInterfaces.h"

namespace S1::UI {

// The four faces of the setup controller the window works with.
struct ControllerInterfaces {
    IStageController& stage;
    ISuccessController& success;
    IProgressController& progress;
    IErrorController& error;

    template <typename Controller>
    static ControllerInterfaces Of(Controller& controller)
    {
        return ControllerInterfaces{controller, controller, controller, controller};
    }
};

}  // namespace S1::UI
