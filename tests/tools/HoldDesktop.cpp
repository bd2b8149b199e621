// Keeps Wine's desktop up for a whole test run. Wine starts its desktop process with the first
// window of a prefix and ends it with the last program that used it; each test program would
// then start it anew, and under load that start can outlast the wait of the next window's
// creation, which fails. Runs until the run's wineserver is stopped.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // The desktop window is made (and the desktop process started) on first use.
    GetDesktopWindow();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
