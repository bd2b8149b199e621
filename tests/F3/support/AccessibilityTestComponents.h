#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "F3/AccessibleComponent.h"
#include "F3/ButtonAccessibilityProvider.h"
#include "F3/ContainerAccessibilityProvider.h"
#include "F3/ProgressBarAccessibilityProvider.h"
#include "F3/ScrollableAccessibilityProvider.h"
#include "F3/UiaCore.h"
#include "F3/WindowAccessibilityProvider.h"
#include "F3/WindowTitleAccessibilityProvider.h"

// Small components for each provider, with the accessibility answers the tests set.
namespace test {

template <typename Provider, typename Extension>
class Accessible : public F3::AccessibleComponent<Provider, Extension> {
public:
    explicit Accessible(std::wstring name = F3::kDefaultComponentName)
        : F3::AccessibleComponent<Provider, Extension>(0, 0, 100, 40, std::move(name))
    {
    }

    std::optional<std::wstring> GetHelpText() const override { return helpText; }
    std::optional<std::wstring> GetFullDescriptionText() const override { return description; }
    std::optional<int> GetControlTypeOverride() const override { return controlType; }
    std::wstring GetName() const override
    {
        if (throwFromName)
            throw std::runtime_error("no name");
        return F3::AccessibleComponent<Provider, Extension>::GetName();
    }

    std::optional<std::wstring> helpText;
    std::optional<std::wstring> description;
    std::optional<int> controlType;
    bool throwFromName = false;
};

class TestForm : public Accessible<F3::Accessibility::WindowAccessibilityProvider,
                                   F3::Accessibility::IWindowAccessibilityExtension> {
public:
    using Accessible::Accessible;
    void Close() override { ++closes; }
    void Minimise() override
    {
        ++minimises;
        minimised = true;
    }
    void Restore() override
    {
        ++restores;
        minimised = false;
    }
    bool IsMinimised() const override { return minimised; }
    bool IsTopmost() const override { return topmost; }
    int GetInteractionState() const override { return interactionState; }
    // A borderless top-level window, as the form has.
    void CreateParams(F3::CreateParamsRecord& params) override
    {
        Accessible::CreateParams(params);
        params.style |= WS_POPUP;
    }

    int closes = 0;
    int minimises = 0;
    int restores = 0;
    bool minimised = false;
    bool topmost = false;
    int interactionState = 0;
};

class TestPage : public Accessible<F3::Accessibility::ScrollableAccessibilityProvider,
                                   F3::Accessibility::IScrollableAccessibilityExtension> {
public:
    using Accessible::Accessible;
    void Scroll(int horizontalAmount, int verticalAmount) override { scrolls.emplace_back(horizontalAmount, verticalAmount); }
    void SetScrollPercent(double horizontalPercent, double verticalPercent) override
    {
        percentsSet.emplace_back(horizontalPercent, verticalPercent);
    }
    bool IsHorizontallyScrollable() const override { return horizontallyScrollable; }
    bool IsVerticallyScrollable() const override { return verticallyScrollable; }
    double GetHorizontalScrollPercent() const override { return horizontalPercent; }
    double GetVerticalScrollPercent() const override { return verticalPercent; }
    double GetHorizontalViewSize() const override { return horizontalViewSize; }
    double GetVerticalViewSize() const override { return verticalViewSize; }
    bool IsScrollPatternAvailable() const override { return scrollPatternAvailable; }
    void ScrollIntoView() override { ++scrolledIntoView; }

    std::vector<std::pair<int, int>> scrolls;
    std::vector<std::pair<double, double>> percentsSet;
    bool horizontallyScrollable = false;
    bool verticallyScrollable = false;
    double horizontalPercent = 0;
    double verticalPercent = 0;
    double horizontalViewSize = 0;
    double verticalViewSize = 0;
    bool scrollPatternAvailable = false;
    int scrolledIntoView = 0;
};

class TestTitle : public Accessible<F3::Accessibility::WindowTitleAccessibilityProvider,
                                    F3::Accessibility::ITitleAccessibilityExtension> {
public:
    using Accessible::Accessible;
};

class TestContainer : public Accessible<F3::Accessibility::ContainerAccessibilityProvider,
                                        F3::Accessibility::IContainerAccessibilityExtension> {
public:
    using Accessible::Accessible;
};

class TestButton : public Accessible<F3::Accessibility::ButtonAccessibilityProvider,
                                     F3::Accessibility::IButtonAccessibilityExtension> {
public:
    using Accessible::Accessible;
    void Invoke() override
    {
        if (throwFromInvoke)
            throw std::runtime_error("cannot invoke");
        ++invokes;
    }

    int invokes = 0;
    bool throwFromInvoke = false;
};

class TestProgressBar : public Accessible<F3::Accessibility::ProgressBarAccessibilityProvider,
                                          F3::Accessibility::IProgressBarAccessibilityExtension> {
public:
    using Accessible::Accessible;
    double GetValue() const override { return value; }

    double value = 0;
};

// A provider attached by hand to a component, as its component would attach it; released by
// the holder.
template <typename Provider>
class Attached {
public:
    explicit Attached(const std::shared_ptr<F3::Component>& component) : provider(new Provider)
    {
        provider->SetComponent(component);
    }
    ~Attached()
    {
        if (provider)
            provider->Release();
    }
    Attached(const Attached&) = delete;
    Attached& operator=(const Attached&) = delete;

    Provider* operator->() const { return provider; }
    Provider* get() const { return provider; }
    IRawElementProviderSimple* Simple() const { return provider; }

    // Releases the holder's reference; the count left.
    ULONG Release() { return std::exchange(provider, nullptr)->Release(); }

private:
    Provider* provider;
};

// What the UI Automation core was asked through the seam. Window-thread only.
struct UiaRecord {
    bool listening = false;
    std::vector<std::pair<IRawElementProviderSimple*, int>> events;
    int returned = 0;
    HWND returnedWindow = nullptr;
    WPARAM returnedWParam = 0;
    LPARAM returnedLParam = 0;
    IRawElementProviderSimple* returnedProvider = nullptr;
    HWND hostWindow = nullptr;
    IRawElementProviderSimple* host = nullptr;
};

inline UiaRecord& Uia()
{
    static UiaRecord record;
    return record;
}

// Fakes of the four core functions that record their calls; restored to the system's at the end.
class FakeUiaCore {
public:
    FakeUiaCore()
    {
        Uia() = {};
        F3::Accessibility::UiaFunctions fakes;
        fakes.clientsAreListening = []() WINAPI -> BOOL { return Uia().listening; };
        fakes.raiseAutomationEvent = [](IRawElementProviderSimple* provider, int eventId) WINAPI -> HRESULT {
            Uia().events.emplace_back(provider, eventId);
            return S_OK;
        };
        fakes.returnRawElementProvider = [](HWND window, WPARAM wParam, LPARAM lParam,
                                            IRawElementProviderSimple* provider) WINAPI -> LRESULT {
            auto& record = Uia();
            ++record.returned;
            record.returnedWindow = window;
            record.returnedWParam = wParam;
            record.returnedLParam = lParam;
            record.returnedProvider = provider;
            return 77;
        };
        fakes.hostProviderFromHwnd = [](HWND window, IRawElementProviderSimple** provider) WINAPI -> HRESULT {
            auto& record = Uia();
            record.hostWindow = window;
            *provider = record.host;
            if (record.host)
                record.host->AddRef();
            return S_OK;
        };
        F3::Accessibility::UiaCore::SetForTesting(fakes);
    }
    ~FakeUiaCore() { F3::Accessibility::UiaCore::ResetForTesting(); }
    FakeUiaCore(const FakeUiaCore&) = delete;
    FakeUiaCore& operator=(const FakeUiaCore&) = delete;
};

}  // namespace test
