#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/signals2/connection.hpp>
#include <boost/signals2/signal.hpp>

#include "F3/AccessibilityExtensions.h"
#include "F3/Gdiplus.h"
#include "F3/IAnimationManager.h"
#include "F3/IThemeManager.h"
#include "F3/ILocalisationManager.h"

namespace F3 {

// The window class of every component window, and the property that leads from a window to its
// component.
inline constexpr wchar_t kComponentClassName[] = L"HalvexVeskF3";
inline constexpr wchar_t kComponentProperty[] = L"HalvexVeskF3 Object";
inline constexpr wchar_t kDefaultComponentName[] = L"HalvexVeskBaseComponent";
// Carries a heap std::function<void()> from Invoke to the window thread.
inline constexpr UINT kInvokeMessage = WM_APP + 1;
// What the base adds to reflected messages.
inline constexpr UINT kReflectOffset = 0x2000;

class EventArgs {
public:
    virtual ~EventArgs() = default;
};

class MouseEventArgs : public EventArgs {
public:
    MouseEventArgs(int button, int wheelDelta, int x, int y) : button(button), wheelDelta(wheelDelta), x(x), y(y) {}
    int button;  // 0 none, 1 left, 3 right
    int wheelDelta;
    int x;
    int y;
};

// What Create gives CreateWindowExW; the geometry in device pixels.
struct CreateParamsRecord {
    DWORD extendedStyle = 0;
    DWORD style = 0;
    std::wstring className;
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
};

// A rectangle in device pixels as x, y, width and height.
struct PixelRect {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
};
// left, top, right, bottom in DIP to pixels, and back.
PixelRect DipEdgesToPixels(float left, float top, float right, float bottom);
void PixelsToDipEdges(const PixelRect& pixels, float& left, float& top, float& right, float& bottom);

// Throws again the first exception that a component's message handler on this thread let out
// since the last call; the window procedure logs it and answers as the system would. Called
// after each dispatched message and after window creation.
void RethrowWindowException();

// One on-screen element with one window of its own. Geometry is in DIP; the tree is held
// through shared pointers from parent to child. Everything but Invoke runs on the window thread.
class Component : public Accessibility::IComponentAccessibilityExtension,
                  public std::enable_shared_from_this<Component> {
public:
    Component(float x, float y, float width, float height, std::wstring windowName = kDefaultComponentName);
    ~Component() override;
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    // The accessibility extension.
    HWND GetHandle() const override;
    void SetHandle(HWND handle) override;
    std::wstring GetName() const override;
    std::optional<std::wstring> GetFullDescriptionText() const override;
    std::optional<std::wstring> GetHelpText() const override;
    std::optional<int> GetControlTypeOverride() const override;
    std::shared_ptr<Component> GetFocusedComponent() override;
    // The enabled flag (the extension's question and the component's are one).
    bool IsEnabled() const override;

    virtual void AddChild(std::shared_ptr<Component> child, bool initialFocus = false);
    virtual void SetBackgroundColour(const Gdiplus::Color& colour);
    virtual void SetEnabled(bool enabled);
    virtual bool IsVisible() const;
    virtual void SetVisible(bool visible);
    virtual int GetAlpha() const;
    virtual void SetAlpha(int alpha);
    virtual bool IsOpaque() const;
    virtual LPCWSTR GetCursor() const;
    virtual void SetCursor(LPCWSTR cursor);
    virtual bool IsFocusable() const;
    virtual void SetFocusable(bool focusable);
    virtual bool HasFocus() const;
    virtual void OnFocusChanged(bool focused);
    virtual void SetMouseTransparent(bool transparent);
    virtual void SetSize(float width, float height);
    virtual void SetPosition(float x, float y);
    virtual void OnAnimationTick();
    virtual bool CanReceiveFocus() const;
    virtual bool FocusNext(const std::shared_ptr<Component>& from);
    virtual LRESULT HitTest(int x, int y);
    virtual void CreateParams(CreateParamsRecord& params);
    virtual void Create();
    virtual void OnCreate();
    virtual void OnDestroy();
    virtual void PaintBackground(Gdiplus::Graphics& graphics);
    virtual void Paint(Gdiplus::Graphics& graphics);
    virtual void PrePaint(Gdiplus::Graphics& graphics);
    virtual std::shared_ptr<Gdiplus::Region> GetClipRegion();
    virtual std::shared_ptr<Gdiplus::Region> GetExcludedRegion();
    virtual void Invalidate();
    virtual void OnResized(int width, int height);
    virtual void OnMouseDown(const MouseEventArgs& args);
    virtual void OnMouseUp(const MouseEventArgs& args);
    virtual void OnMouseWheel(const MouseEventArgs& args);
    virtual void OnMouseMove(const MouseEventArgs& args);
    virtual void OnMouseEnter();
    virtual void OnMouseLeave();
    virtual void OnVisibilityChanged();
    virtual void OnEnabledChanged();
    virtual void OnFocusStateChanged();
    virtual void ApplyTheme();
    virtual void OnInstanceSet();
    virtual void ApplyLocalisation();
    virtual void OnTimer(int id);
    virtual void OnChar(int character);
    virtual void OnKeyDown(int key);
    virtual void MoveFocusNext();
    virtual void DefaultAction();
    virtual void RaiseAutomationEvent(int eventId) = 0;
    virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Runs fn on the window thread: sent (waiting) or posted. Safe from any thread.
    void Invoke(std::function<void()> fn, bool wait);
    void SetInstance(HINSTANCE instance);
    void SetThemeManager(std::shared_ptr<IThemeManager> manager);
    void SetAnimationManager(std::shared_ptr<IAnimationManager> manager);
    void SetLocalisationManager(std::shared_ptr<ILocalisationManager> manager);
    ThemeValue GetThemeValue(const std::string& key);
    void AddTypeNames(const std::vector<std::string>& names);
    void RefreshLocalisation();
    void BringToTop();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Read by painting, tests and subclasses.
    float GetX() const { return x; }
    float GetY() const { return y; }
    float GetWidth() const { return width; }
    float GetHeight() const { return height; }
    const Gdiplus::RectF& GetClientRect() const { return clientRect; }
    const std::vector<std::shared_ptr<Component>>& GetChildren() const { return children; }
    std::shared_ptr<Component> GetParent() const { return parent.lock(); }
    const std::vector<std::string>& GetTypeNames() const { return typeNames; }
    const std::shared_ptr<Gdiplus::Font>& GetFont() const { return font; }
    const std::shared_ptr<Gdiplus::Bitmap>& GetBackBuffer() const { return backBuffer; }
    const std::shared_ptr<Gdiplus::Graphics>& GetBackBufferGraphics() const { return backBufferGraphics; }
    bool IsVisibleFlag() const { return visible; }
    HINSTANCE GetInstance() const { return instance; }
    const std::shared_ptr<IAnimationManager>& GetAnimationManager() const { return animationManager; }
    const std::shared_ptr<ILocalisationManager>& GetLocalisationManager() const { return localisationManager; }
    const std::shared_ptr<IThemeManager>& GetThemeManager() const { return themeManager; }

    boost::signals2::signal<void()> resized;
    boost::signals2::signal<void()> visibilityChanged;
    boost::signals2::signal<void()> enabledChanged;
    boost::signals2::signal<void()> focusStateChanged;

protected:
    // The back buffer for a client area of the size in DIP, replacing the old one.
    void RebuildBackBuffer(float widthDip, float heightDip);

private:
    void CreateMissingChildWindows();
    LRESULT Reflect(HWND from, UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle = nullptr;
    std::vector<std::shared_ptr<Component>> children;
    std::weak_ptr<Component> parent;
    std::weak_ptr<Component> initialFocusChild;
    Gdiplus::RectF clientRect;
    std::unique_ptr<Gdiplus::SolidBrush> backgroundBrush;
    float width;
    float height;
    std::shared_ptr<Gdiplus::Font> font;
    HINSTANCE instance = nullptr;
    std::shared_ptr<IAnimationManager> animationManager;
    std::shared_ptr<ILocalisationManager> localisationManager;
    std::wstring windowName;
    std::vector<std::string> typeNames{"component"};
    std::shared_ptr<Gdiplus::Bitmap> backBuffer;
    std::shared_ptr<Gdiplus::Graphics> backBufferGraphics;
    bool visible = true;
    bool enabled = true;
    bool mouseTransparent = false;
    bool hasFocus = false;
    bool focusable = false;
    LPCWSTR cursor = IDC_ARROW;
    bool mouseInside = false;
    TRACKMOUSEEVENT mouseTracking{};
    float x;
    float y;
    int alpha = 255;
    std::shared_ptr<IThemeManager> themeManager;
    boost::signals2::scoped_connection themeConnection;
    boost::signals2::scoped_connection focusConnection;
    boost::signals2::scoped_connection visibilityConnection;
};

}  // namespace F3
