#include "Installer/StartupChecks.h"

#include <stdexcept>

#include "Utilities/ProgramDataFolder.h"

namespace S1 {

StartupChecks::StartupChecks() : StartupChecks(&utilities::IsUserAdministrator) {}

StartupChecks::StartupChecks(MembershipCheck isAdministrator) : isAdministrator(isAdministrator) {}

// Process hardening is not built yet: README lists it as missing.
void StartupChecks::HardenProcess() {}

void StartupChecks::CheckAdministrator()
{
    if (!isAdministrator())
        throw std::runtime_error("You must be a local administrator on this computer to install Halvex Vesk.");
}

void StartupChecks::CheckProgramDataFolder(bool checkOwnership)
{
    utilities::EnsureProgramDataFolder(!checkOwnership);
}

}  // namespace S1
