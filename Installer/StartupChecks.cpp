#include "Installer/StartupChecks.h"

#include <stdexcept>

#include "Shared/VeskUtilities/ProcessSecurity.h"
#include "Utilities/ProgramDataFolder.h"

namespace S1 {

StartupChecks::StartupChecks() : StartupChecks(&utilities::IsUserAdministrator) {}

StartupChecks::StartupChecks(MembershipCheck isAdministrator) : isAdministrator(isAdministrator) {}

// No particular account or session is required of the installer.
void StartupChecks::HardenProcess()
{
    using namespace Vesk::Utilities;
    ConfigureProcessSecurity({ExpectedUser::None, ExpectedSession::None});
}

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
