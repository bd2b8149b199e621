// A second process for the single-instance tests: creates the single-instance event with the base
// name given as its one argument and tells through its exit code what it found.
//   0: it got the event (sole instance); 1: another instance holds it; 2: creation failed;
//   3: bad command line.
#include <windows.h>

#include <exception>
#include <optional>

#include "Shared/VeskUtilities/SingleInstanceEvent.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 3;
    try {
        const std::optional<HANDLE> event = Vesk::Utilities::CreateSingleInstanceEvent(argv[1]);
        if (!event)
            return 1;
        CloseHandle(*event);
        return 0;
    } catch (const std::exception&) {
        return 2;
    }
}
