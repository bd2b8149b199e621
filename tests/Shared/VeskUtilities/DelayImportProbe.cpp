// Linked against a delay-import library for PathIsRelativeW of shlwapi.dll, a library nothing
// else of the program loads. Exit codes:
//   0: LoadAllImports loaded the library, filled the import's address table entry with the
//      library's own address of the function, and the call through it answered correctly;
//   2: the library was loaded before LoadAllImports; 3: LoadAllImports did not load it;
//   4: the entry does not hold the function's address; 5: the call answered wrongly.
#include <windows.h>

#include "Shared/VeskUtilities/ProcessSecurity.h"

// Declared here rather than taken from shlwapi.h: imported, so that taking its address reads the
// import address table entry.
extern "C" __declspec(dllimport) BOOL WINAPI PathIsRelativeW(LPCWSTR path);

int wmain()
{
    if (GetModuleHandleW(L"shlwapi.dll"))
        return 2;
    Vesk::Utilities::LoadAllImports();
    const HMODULE shlwapi = GetModuleHandleW(L"shlwapi.dll");
    if (!shlwapi)
        return 3;
    const FARPROC exported = GetProcAddress(shlwapi, "PathIsRelativeW");
    if (reinterpret_cast<void*>(&PathIsRelativeW) != reinterpret_cast<void*>(exported))
        return 4;
    if (!PathIsRelativeW(L"a\\b") || PathIsRelativeW(L"C:\\a"))
        return 5;
    return 0;
}
