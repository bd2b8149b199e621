#include "F3/UiaCore.h"

#include <mutex>
#include <optional>

namespace F3::Accessibility {
namespace {

UiaFunctions LoadSystemFunctions()
{
    UiaFunctions functions;
    // Only from the system folder: the process allows no other library search.
    const HMODULE module = LoadLibraryExW(L"uiautomationcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module)
        return functions;
    const auto resolve = [module](auto& target, const char* name) {
        target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(
            reinterpret_cast<void*>(GetProcAddress(module, name)));
    };
    resolve(functions.hostProviderFromHwnd, "UiaHostProviderFromHwnd");
    resolve(functions.returnRawElementProvider, "UiaReturnRawElementProvider");
    resolve(functions.raiseAutomationEvent, "UiaRaiseAutomationEvent");
    resolve(functions.clientsAreListening, "UiaClientsAreListening");
    return functions;
}

// The window thread and the UI Automation core's threads (through the providers) both ask.
std::mutex inUseMutex;
std::optional<UiaFunctions> inUse;

}  // namespace

UiaFunctions UiaCore::Functions()
{
    const std::lock_guard lock(inUseMutex);
    if (!inUse)
        inUse = LoadSystemFunctions();
    return *inUse;
}

void UiaCore::SetForTesting(const UiaFunctions& functions)
{
    const std::lock_guard lock(inUseMutex);
    inUse = functions;
}

void UiaCore::ResetForTesting()
{
    const std::lock_guard lock(inUseMutex);
    inUse.reset();
}

HRESULT UiaCore::HostProviderFromHwnd(HWND window, IRawElementProviderSimple** provider)
{
    if (!provider)
        return E_INVALIDARG;
    *provider = nullptr;
    const auto function = Functions().hostProviderFromHwnd;
    return function ? function(window, provider) : E_NOTIMPL;
}

LRESULT UiaCore::ReturnRawElementProvider(HWND window, WPARAM wParam, LPARAM lParam,
                                          IRawElementProviderSimple* provider)
{
    const auto function = Functions().returnRawElementProvider;
    return function ? function(window, wParam, lParam, provider) : 0;
}

HRESULT UiaCore::RaiseAutomationEvent(IRawElementProviderSimple* provider, int eventId)
{
    const auto function = Functions().raiseAutomationEvent;
    return function ? function(provider, eventId) : E_NOTIMPL;
}

bool UiaCore::ClientsAreListening()
{
    const auto function = Functions().clientsAreListening;
    return function && function() != FALSE;
}

}  // namespace F3::Accessibility
