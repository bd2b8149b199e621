// Linked against a delay-import library whose one import cannot be resolved (a library that does
// not exist, or a procedure its library does not export). LoadAllImports must end the process
// (exit code 106); exit code 0 says that it came back.
#include <windows.h>

#include "Shared/VeskUtilities/ProcessSecurity.h"

extern "C" void HalvexAbsentFunction();

int wmain()
{
    Vesk::Utilities::LoadAllImports();
    // Never true: the reference only keeps the import in the image.
    if (GetCurrentProcessId() == 0)
        HalvexAbsentFunction();
    return 0;
}
