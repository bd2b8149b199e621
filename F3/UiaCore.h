#pragma once

#include <windows.h>
#include <ole2.h>
#include <uiautomationcore.h>

namespace F3::Accessibility {

// The four UI Automation core functions the providers need. There is no import library for
// them here, so they are looked up in uiautomationcore.dll at run time; without the library or
// a function, no client is listening and nothing is handed out.
struct UiaFunctions {
    HRESULT(WINAPI* hostProviderFromHwnd)(HWND window, IRawElementProviderSimple** provider) = nullptr;
    LRESULT(WINAPI* returnRawElementProvider)(HWND window, WPARAM wParam, LPARAM lParam,
                                              IRawElementProviderSimple* provider) = nullptr;
    HRESULT(WINAPI* raiseAutomationEvent)(IRawElementProviderSimple* provider, int eventId) = nullptr;
    BOOL(WINAPI* clientsAreListening)() = nullptr;
};

class UiaCore {
public:
    static HRESULT HostProviderFromHwnd(HWND window, IRawElementProviderSimple** provider);
    static LRESULT ReturnRawElementProvider(HWND window, WPARAM wParam, LPARAM lParam,
                                            IRawElementProviderSimple* provider);
    static HRESULT RaiseAutomationEvent(IRawElementProviderSimple* provider, int eventId);
    static bool ClientsAreListening();

    // The functions in use: the system's, looked up once. Safe from any thread.
    static UiaFunctions Functions();
    // Tests: these in place of the system's (all null: as if the library were missing); Reset
    // goes back to the system's.
    static void SetForTesting(const UiaFunctions& functions);
    static void ResetForTesting();
};

}  // namespace F3::Accessibility
