#include "Installer/StartupChecks.h"

namespace S1 {

// Process hardening, the administrator check and the program-data folder check are not built
// yet: until they are, these let every start go on, and README lists them as missing.
void StartupChecks::HardenProcess() {}

void StartupChecks::CheckAdministrator() {}

void StartupChecks::CheckProgramDataFolder(bool) {}

}  // namespace S1
