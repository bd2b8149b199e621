#pragma once

#include <windows.h>
#include <ole2.h>

#include <exception>
#include <memory>
#include <mutex>
#include <utility>

#include "F3/ComObject.h"
#include "F3/Component.h"
#include "F3/UiaDeclarations.h"

namespace F3::Accessibility {

// What a component holds of its provider: Disconnect drops the provider's reference to the
// component, so a client that keeps the provider longer gets the answers for a component that
// is gone.
MIDL_INTERFACE("BF3D75BA-C531-414D-83BD-3CD855209E2D")
IAccessibilityProvider : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
};

}  // namespace F3::Accessibility

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(F3::Accessibility::IAccessibilityProvider, 0xbf3d75ba, 0xc531, 0x414d, 0x83, 0xbd, 0x3c, 0xd8, 0x55,
                0x20, 0x9e, 0x2d)
#endif

namespace F3::Accessibility {

// Server-side provider, override provider, provider owns set-focus.
inline constexpr int kProviderOptions =
    ProviderOptions_ServerSideProvider | ProviderOptions_OverrideProvider | ProviderOptions_ProviderOwnsSetFocus;

void SetBool(VARIANT& value, bool answer);
void SetInt(VARIANT& value, int answer);
void SetDouble(VARIANT& value, double answer);
// E_OUTOFMEMORY when the string cannot be allocated.
HRESULT SetString(VARIANT& value, const std::wstring& answer);

// The properties every component answers from its own values; VT_EMPTY for any other id.
HRESULT ComponentPropertyValue(const Component& component, PROPERTYID propertyId, int controlType, VARIANT& value);
// The system's provider for the component's window; null when there is none to be had.
HRESULT HostProviderOf(const Component& component, IRawElementProviderSimple** host);
void LogProviderFailure(const char* method, const char* what);

// Runs a COM method's body; a C++ exception becomes E_FAIL and never reaches the caller.
template <typename Body>
HRESULT Guarded(const char* method, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& e) {
        LogProviderFailure(method, e.what());
    } catch (...) {
        LogProviderFailure(method, nullptr);
    }
    return E_FAIL;
}

// The UI Automation face of one component, over its extension interfaces. Every call takes a
// strong reference to the component for its duration; once the component is gone (or after
// Disconnect) the calls answer as for an element that no longer exists, and succeed. Calls
// arrive on the UI Automation core's threads.
template <typename... Patterns>
class AccessibilityProvider : public ComObject<Patterns..., IRawElementProviderSimple, IAccessibilityProvider> {
public:
    // Set once, right after creation.
    void SetComponent(std::weak_ptr<Component> component)
    {
        const std::lock_guard lock(mutex);
        this->component = std::move(component);
    }

    HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* options) override
    {
        if (!options)
            return E_POINTER;
        *options = static_cast<ProviderOptions>(kProviderOptions);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID patternId, IUnknown** pattern) override
    {
        return Guarded("GetPatternProvider", [&]() -> HRESULT {
            if (!pattern)
                return E_POINTER;
            *pattern = nullptr;
            const auto locked = LockComponent();
            if (!locked || !SupportsPattern(*locked, patternId))
                return S_OK;
            return this->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(pattern));
        });
    }

    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID propertyId, VARIANT* value) override
    {
        return Guarded("GetPropertyValue", [&]() -> HRESULT {
            if (!value)
                return E_POINTER;
            VariantInit(value);
            const auto locked = LockComponent();
            if (!locked)
                return S_OK;
            if (const HRESULT own = ProviderPropertyValue(*locked, propertyId, *value); own != S_FALSE)
                return own;
            return ComponentPropertyValue(*locked, propertyId, ControlType(*locked), *value);
        });
    }

    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** host) override
    {
        return Guarded("get_HostRawElementProvider", [&]() -> HRESULT {
            if (!host)
                return E_POINTER;
            *host = nullptr;
            const auto locked = LockComponent();
            return locked ? HostProviderOf(*locked, host) : S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE Disconnect() override
    {
        const std::lock_guard lock(mutex);
        component.reset();
        return S_OK;
    }

protected:
    std::shared_ptr<Component> LockComponent() const
    {
        const std::lock_guard lock(mutex);
        return component.lock();
    }

    // The control type when the component names none of its own.
    virtual int DefaultControlType() const = 0;
    virtual int ControlType(const Component& locked) const
    {
        return locked.GetControlTypeOverride().value_or(DefaultControlType());
    }
    // A property this provider answers before the shared ones; S_FALSE when it has none.
    virtual HRESULT ProviderPropertyValue(const Component& locked, PROPERTYID propertyId, VARIANT& value)
    {
        return S_FALSE;
    }
    virtual bool SupportsPattern(const Component& locked, PATTERNID patternId) const { return false; }

    // A pattern getter: `gone` when the component or its extension is not there, else `read`
    // of the extension.
    template <typename Extension, typename Out, typename Read>
    HRESULT Query(const char* method, Out* out, Out gone, Read&& read)
    {
        return Guarded(method, [&]() -> HRESULT {
            if (!out)
                return E_POINTER;
            *out = gone;
            const auto locked = LockComponent();
            if (auto* extension = dynamic_cast<Extension*>(locked.get()))
                *out = static_cast<Out>(read(*extension));
            return S_OK;
        });
    }

    // A pattern action: nothing when the component or its extension is not there.
    template <typename Extension, typename Act>
    HRESULT Perform(const char* method, Act&& act)
    {
        return Guarded(method, [&]() -> HRESULT {
            const auto locked = LockComponent();
            if (auto* extension = dynamic_cast<Extension*>(locked.get()))
                act(*extension);
            return S_OK;
        });
    }

private:
    mutable std::mutex mutex;
    std::weak_ptr<Component> component;
};

}  // namespace F3::Accessibility
