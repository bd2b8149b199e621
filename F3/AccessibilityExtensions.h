#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace F3 {
class Component;
}

namespace F3::Accessibility {

// What every component tells UI Automation about itself; the providers ask only through this
// and the pattern extensions below.
class IComponentAccessibilityExtension {
public:
    virtual ~IComponentAccessibilityExtension() = default;
    virtual HWND GetHandle() const = 0;
    virtual void SetHandle(HWND handle) = 0;
    virtual std::wstring GetName() const = 0;
    virtual std::optional<std::wstring> GetFullDescriptionText() const = 0;
    virtual std::optional<std::wstring> GetHelpText() const = 0;
    // A UIA control type id that replaces the provider's own.
    virtual std::optional<int> GetControlTypeOverride() const = 0;
    virtual bool IsKeyboardFocusable() const = 0;
    virtual bool HasKeyboardFocus() const = 0;
    // The component of this subtree that has the focus, if any.
    virtual std::shared_ptr<Component> GetFocusedComponent() = 0;
    virtual bool IsEnabled() const = 0;
};

// The Window pattern of the form.
class IWindowAccessibilityExtension {
public:
    virtual void Close() = 0;
    virtual void Minimise() = 0;
    virtual void Restore() = 0;
    virtual bool IsMinimised() const = 0;
    virtual bool IsTopmost() const = 0;
    // A WindowInteractionState value: 0 running.
    virtual int GetInteractionState() const = 0;

protected:
    ~IWindowAccessibilityExtension() = default;
};

// The Scroll and ScrollItem patterns of pages.
class IScrollableAccessibilityExtension {
public:
    // Amounts are ScrollAmount values.
    virtual void Scroll(int horizontalAmount, int verticalAmount) = 0;
    virtual void SetScrollPercent(double horizontalPercent, double verticalPercent) = 0;
    virtual bool IsHorizontallyScrollable() const = 0;
    virtual bool IsVerticallyScrollable() const = 0;
    virtual double GetHorizontalScrollPercent() const = 0;
    virtual double GetVerticalScrollPercent() const = 0;
    virtual double GetHorizontalViewSize() const = 0;
    virtual double GetVerticalViewSize() const = 0;
    virtual bool IsScrollPatternAvailable() const = 0;
    virtual void ScrollIntoView() = 0;

protected:
    ~IScrollableAccessibilityExtension() = default;
};

// The Invoke pattern of buttons.
class IButtonAccessibilityExtension {
public:
    virtual void Invoke() = 0;

protected:
    ~IButtonAccessibilityExtension() = default;
};

// The RangeValue pattern of the progress bar.
class IProgressBarAccessibilityExtension {
public:
    // 0 to 100.
    virtual double GetValue() const = 0;

protected:
    ~IProgressBarAccessibilityExtension() = default;
};

// The header bar and the page container: no pattern of their own.
class ITitleAccessibilityExtension {
protected:
    ~ITitleAccessibilityExtension() = default;
};
class IContainerAccessibilityExtension {
protected:
    ~IContainerAccessibilityExtension() = default;
};

}  // namespace F3::Accessibility
