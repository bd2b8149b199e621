#pragma once

#include "Installer/StartupGuard.h"

namespace S1 {

// The start-up checks of the real process.
class StartupChecks : public IStartupChecks {
public:
    using MembershipCheck = bool (*)();

    // The membership test is given only by tests: the test process itself runs elevated.
    StartupChecks();
    explicit StartupChecks(MembershipCheck isAdministrator);

    void HardenProcess() override;
    void CheckAdministrator() override;
    void CheckProgramDataFolder(bool checkOwnership) override;

private:
    MembershipCheck isAdministrator;
};

}  // namespace S1
