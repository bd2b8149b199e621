#pragma once

#include <windows.h>

#include <new>

#include "F3/AccessibilityProvider.h"
#include "F3/Component.h"
#include "F3/UiaCore.h"
#include "F3/UiaDeclarations.h"

namespace F3 {

// A component that UI Automation clients see through a Provider (one of the providers in
// F3::Accessibility) while its window exists; Extension is the pattern interface that the
// provider asks.
template <typename Provider, typename Extension>
class AccessibleComponent : public Component, public Extension {
public:
    using Component::Component;

    ~AccessibleComponent() override
    {
        // The base destroys a window that still exists without calling OnDestroy.
        ForgetWindow();
        DropProvider();
    }

    bool IsKeyboardFocusable() const override { return IsFocusable(); }
    bool HasKeyboardFocus() const override { return HasFocus(); }

    void OnCreate() override
    {
        Component::OnCreate();
        DropProvider();
        // Without memory for a provider the component is simply not seen.
        auto* created = new (std::nothrow) Provider();
        if (!created)
            return;
        created->SetComponent(weak_from_this());
        provider = created;
    }

    void OnDestroy() override
    {
        ForgetWindow();
        DropProvider();
        Component::OnDestroy();
    }

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        // The object id is a 32-bit value, whatever the width of lParam.
        if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == UiaRootObjectId && provider) {
            IRawElementProviderSimple* simple = nullptr;
            if (SUCCEEDED(provider->QueryInterface(__uuidof(IRawElementProviderSimple), reinterpret_cast<void**>(&simple)))) {
                const LRESULT result = Accessibility::UiaCore::ReturnRawElementProvider(window, wParam, lParam, simple);
                simple->Release();
                handedOut = true;
                return result;
            }
        }
        return Component::HandleMessage(window, message, wParam, lParam);
    }

    void RaiseAutomationEvent(int eventId) override
    {
        if (!provider || !Accessibility::UiaCore::ClientsAreListening())
            return;
        IRawElementProviderSimple* simple = nullptr;
        if (FAILED(provider->QueryInterface(__uuidof(IRawElementProviderSimple), reinterpret_cast<void**>(&simple))))
            return;
        Accessibility::UiaCore::RaiseAutomationEvent(simple, eventId);
        simple->Release();
    }

    // The provider while the window exists, else null; the reference stays the component's.
    Accessibility::IAccessibilityProvider* GetProvider() const { return provider; }

private:
    // The core keeps the providers a window handed out in its event map until told the window is
    // gone.
    void ForgetWindow()
    {
        if (!handedOut)
            return;
        handedOut = false;
        if (const HWND window = GetHandle())
            Accessibility::UiaCore::ReturnRawElementProvider(window, 0, 0, nullptr);
    }

    void DropProvider()
    {
        if (!provider)
            return;
        provider->Disconnect();
        provider->Release();
        provider = nullptr;
    }

    Accessibility::IAccessibilityProvider* provider = nullptr;
    bool handedOut = false;
};

}  // namespace F3
