#pragma once

#include "Installer/StartupGuard.h"

namespace S1 {

// The start-up checks of the real process.
class StartupChecks : public IStartupChecks {
public:
    void HardenProcess() override;
    void CheckAdministrator() override;
    void CheckProgramDataFolder(bool checkOwnership) override;
};

}  // namespace S1
