#include "F3/Component.h"

#include <cmath>
#include <exception>
#include <stdexcept>
#include <utility>

#include "F3/DpiScale.h"
#include "halvlib/Logging.h"

namespace F3 {
namespace {

// UI Automation event ids raised by the base.
constexpr int kAutomationFocusChangedEventId = 20005;
constexpr int kLayoutInvalidatedEventId = 20008;
constexpr int kChangesEventId = 20034;

// Window procedures run on the thread that owns the window.
thread_local std::exception_ptr pendingWindowException;

Component* ComponentOf(HWND window)
{
    return window ? static_cast<Component*>(GetPropW(window, kComponentProperty)) : nullptr;
}

}  // namespace

PixelRect DipEdgesToPixels(float left, float top, float right, float bottom)
{
    return {DpiScale::DipToPixelsX(left), DpiScale::DipToPixelsY(top), DpiScale::DipToPixelsX(right - left),
            DpiScale::DipToPixelsY(bottom - top)};
}

void PixelsToDipEdges(const PixelRect& pixels, float& left, float& top, float& right, float& bottom)
{
    left = DpiScale::PixelsToDipX(pixels.x);
    top = DpiScale::PixelsToDipY(pixels.y);
    right = left + DpiScale::PixelsToDipX(pixels.width);
    bottom = top + DpiScale::PixelsToDipY(pixels.height);
}

Component::Component(float x, float y, float width, float height, std::wstring windowName)
    : clientRect(0, 0, width, height), width(width), height(height), windowName(std::move(windowName)),
      x(std::roundf(x)), y(std::roundf(y))
{
}

Component::~Component()
{
    if (handle) {
        // The window procedure must not reach this half-destroyed object.
        RemovePropW(handle, kComponentProperty);
        DestroyWindow(handle);
    }
}

HWND Component::GetHandle() const { return handle; }
void Component::SetHandle(HWND newHandle) { handle = newHandle; }

std::wstring Component::GetName() const
{
    if (!windowName.empty() && windowName != kDefaultComponentName)
        return windowName;
    const std::string& last = typeNames.back();
    const int length = MultiByteToWideChar(CP_UTF8, 0, last.data(), static_cast<int>(last.size()), nullptr, 0);
    std::wstring name(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, last.data(), static_cast<int>(last.size()), name.data(), length);
    return name;
}

std::optional<std::wstring> Component::GetFullDescriptionText() const { return std::nullopt; }
std::optional<std::wstring> Component::GetHelpText() const { return std::nullopt; }
std::optional<int> Component::GetControlTypeOverride() const { return std::nullopt; }

std::shared_ptr<Component> Component::GetFocusedComponent()
{
    if (hasFocus)
        return shared_from_this();
    for (const auto& child : children) {
        if (auto focused = child->GetFocusedComponent())
            return focused;
    }
    return nullptr;
}

bool Component::IsEnabled() const { return enabled; }

void Component::AddChild(std::shared_ptr<Component> child, bool initialFocus)
{
    if (themeManager)
        child->SetThemeManager(themeManager);
    if (animationManager)
        child->SetAnimationManager(animationManager);
    child->SetInstance(instance);
    child->SetLocalisationManager(localisationManager);
    children.push_back(child);
    child->parent = weak_from_this();
    if (initialFocus)
        initialFocusChild = child;
}

void Component::SetBackgroundColour(const Gdiplus::Color& colour)
{
    if (backgroundBrush)
        backgroundBrush->SetColor(colour);
    else
        backgroundBrush = std::make_unique<Gdiplus::SolidBrush>(colour);
}

void Component::SetEnabled(bool value)
{
    const bool changed = enabled != value;
    enabled = value;
    if (handle)
        EnableWindow(handle, value);
    if (changed)
        OnEnabledChanged();
}

bool Component::IsVisible() const
{
    if (!visible)
        return false;
    const auto owner = parent.lock();
    return !owner || owner->IsVisible();
}

void Component::SetVisible(bool value)
{
    if (!handle) {
        visible = value;
        return;
    }
    if (visible == value)
        return;
    // The flag follows through WM_SHOWWINDOW.
    ShowWindow(handle, value ? SW_SHOW : SW_HIDE);
    BringToTop();
    RaiseAutomationEvent(kChangesEventId);
}

int Component::GetAlpha() const { return alpha; }

void Component::SetAlpha(int value)
{
    alpha = value < 0 ? 0 : (value > 255 ? 255 : value);
    Invalidate();
}

bool Component::IsOpaque() const { return alpha == 255; }
LPCWSTR Component::GetCursor() const { return cursor; }

void Component::SetCursor(LPCWSTR value)
{
    cursor = value;
    if (handle)
        SendMessageW(handle, WM_SETCURSOR, 0, 0);
}

bool Component::IsFocusable() const { return focusable && IsVisible(); }

void Component::SetFocusable(bool value)
{
    focusable = value;
    RaiseAutomationEvent(kChangesEventId);
}

bool Component::HasFocus() const { return hasFocus; }

void Component::OnFocusChanged(bool focused)
{
    if (focused && !IsVisible()) {
        if (const auto owner = parent.lock())
            owner->FocusNext(shared_from_this());
        return;
    }
    if (hasFocus == focused)
        return;
    hasFocus = focused;
    RaiseAutomationEvent(kAutomationFocusChangedEventId);
    OnFocusStateChanged();
    Invalidate();
}

void Component::SetMouseTransparent(bool value) { mouseTransparent = value; }

void Component::SetSize(float newWidth, float newHeight)
{
    if (newWidth == width && newHeight == height)
        return;
    width = newWidth;
    height = newHeight;
    if (handle) {
        SetWindowPos(handle, nullptr, 0, 0, static_cast<int>(DpiScale::DipToPixelsX(width)),
                     static_cast<int>(DpiScale::DipToPixelsY(height)), SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
        RaiseAutomationEvent(kLayoutInvalidatedEventId);
    }
}

void Component::SetPosition(float newX, float newY)
{
    if (newX == x && newY == y)
        return;
    if (const auto owner = parent.lock(); owner && owner->handle) {
        const PixelRect old = DipEdgesToPixels(x, y, x + width, y + height);
        const RECT area{static_cast<LONG>(old.x), static_cast<LONG>(old.y), static_cast<LONG>(old.x + old.width),
                        static_cast<LONG>(old.y + old.height)};
        InvalidateRect(owner->handle, &area, TRUE);
    }
    x = newX;
    y = newY;
    if (handle) {
        SetWindowPos(handle, nullptr, static_cast<int>(DpiScale::DipToPixelsX(x)),
                     static_cast<int>(DpiScale::DipToPixelsY(y)), 0, 0,
                     SWP_NOACTIVATE | SWP_NOREDRAW | SWP_NOZORDER | SWP_NOSIZE);
        InvalidateRect(handle, nullptr, TRUE);
        RaiseAutomationEvent(kLayoutInvalidatedEventId);
    }
}

void Component::OnAnimationTick()
{
    for (const auto& child : children)
        child->OnAnimationTick();
}

bool Component::CanReceiveFocus() const
{
    if (IsFocusable())
        return true;
    for (const auto& child : children) {
        if (child->CanReceiveFocus())
            return true;
    }
    return false;
}

bool Component::FocusNext(const std::shared_ptr<Component>& from)
{
    const bool fromIsLast = from && !children.empty() && children.back() == from;
    const auto focusFirstOther = [&]() {
        for (const auto& child : children) {
            if (child != from && child->CanReceiveFocus()) {
                SetFocus(child->handle);
                return true;
            }
        }
        return false;
    };
    // (a) the next child that can take the focus.
    if (children.size() > (from ? 1u : 0u) && !fromIsLast && focusFirstOther())
        return true;
    // (b) this component itself.
    if (IsFocusable() && from) {
        SetFocus(handle);
        return true;
    }
    // (c) the parent's next.
    if (const auto owner = parent.lock()) {
        if (owner->FocusNext(shared_from_this()))
            return true;
    }
    // (d) round to the first again.
    if (!fromIsLast && focusFirstOther())
        return true;
    return false;
}

LRESULT Component::HitTest(int screenX, int screenY)
{
    if (mouseTransparent)
        return HTTRANSPARENT;
    POINT point{screenX, screenY};
    ScreenToClient(handle, &point);
    const PixelRect area = DipEdgesToPixels(clientRect.X, clientRect.Y, clientRect.X + clientRect.Width,
                                            clientRect.Y + clientRect.Height);
    const bool inside = point.x >= area.x && point.y >= area.y && point.x < area.x + area.width &&
                        point.y < area.y + area.height;
    return inside ? HTCLIENT : HTNOWHERE;
}

void Component::CreateParams(CreateParamsRecord& params)
{
    if (!parent.expired())
        params.style |= WS_CHILD;
    if (visible)
        params.style |= WS_VISIBLE;
    if (!enabled)
        params.style |= WS_DISABLED;
    if (mouseTransparent || !backgroundBrush)
        params.extendedStyle |= WS_EX_TRANSPARENT;
    params.extendedStyle |= WS_EX_CONTROLPARENT;
    if (IsFocusable())
        params.style |= WS_TABSTOP;
    params.style |= WS_CLIPSIBLINGS;
}

void Component::Create()
{
    const PixelRect pixels = DipEdgesToPixels(x, y, x + width, y + height);
    CreateParamsRecord params;
    params.className = kComponentClassName;
    params.x = pixels.x;
    params.y = pixels.y;
    params.width = pixels.width;
    params.height = pixels.height;
    CreateParams(params);

    WNDCLASSW existing{};
    if (!GetClassInfoW(instance, params.className.c_str(), &existing)) {
        WNDCLASSW windowClass{};
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = &Component::WindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = params.className.c_str();
        RegisterClassW(&windowClass);
    }
    const auto owner = parent.lock();
    const HWND created = CreateWindowExW(params.extendedStyle, params.className.c_str(), windowName.c_str(),
                                         params.style, static_cast<int>(params.x), static_cast<int>(params.y),
                                         static_cast<int>(params.width), static_cast<int>(params.height),
                                         owner ? owner->handle : nullptr, nullptr, instance, this);
    SetHandle(created);
    // A failure while the window was being made (its theme, its children) ends the creation.
    RethrowWindowException();
    width = DpiScale::PixelsToDipX(params.width);
    height = DpiScale::PixelsToDipY(params.height);
}

void Component::OnCreate()
{
    focusConnection = focusStateChanged.connect([this] {
        if (!hasFocus || IsFocusable())
            return;
        if (const auto preferred = initialFocusChild.lock()) {
            SetFocus(preferred->handle);
            return;
        }
        for (const auto& child : children) {
            if (child->CanReceiveFocus()) {
                SetFocus(child->handle);
                return;
            }
        }
    });
    visibilityConnection = visibilityChanged.connect([this] {
        if (GetFocusedComponent() && !IsVisible()) {
            if (const auto owner = parent.lock())
                owner->FocusNext(shared_from_this());
        }
    });
}

void Component::OnDestroy() {}

void Component::PaintBackground(Gdiplus::Graphics& graphics)
{
    if (!backgroundBrush)
        return;
    graphics.FillRectangle(backgroundBrush.get(), 0.0f, 0.0f, DpiScale::DipToPixelsX(clientRect.Width),
                           DpiScale::DipToPixelsY(clientRect.Height));
}

void Component::Paint(Gdiplus::Graphics&) {}
void Component::PrePaint(Gdiplus::Graphics&) {}
std::shared_ptr<Gdiplus::Region> Component::GetClipRegion() { return nullptr; }
std::shared_ptr<Gdiplus::Region> Component::GetExcludedRegion() { return nullptr; }

void Component::Invalidate()
{
    if (handle)
        InvalidateRect(handle, nullptr, TRUE);
}

void Component::OnResized(int, int) { resized(); }
void Component::OnMouseDown(const MouseEventArgs&) {}
void Component::OnMouseUp(const MouseEventArgs&) {}

void Component::OnMouseWheel(const MouseEventArgs& args)
{
    if (const auto owner = parent.lock())
        owner->OnMouseWheel(args);
}

void Component::OnMouseMove(const MouseEventArgs&)
{
    if (mouseInside)
        return;
    mouseInside = true;
    OnMouseEnter();
    mouseTracking.cbSize = sizeof(mouseTracking);
    mouseTracking.dwFlags = TME_LEAVE;
    mouseTracking.hwndTrack = handle;
    mouseTracking.dwHoverTime = HOVER_DEFAULT;
    TrackMouseEvent(&mouseTracking);
}

void Component::OnMouseEnter() {}
void Component::OnMouseLeave() {}
void Component::OnVisibilityChanged() { visibilityChanged(); }
void Component::OnEnabledChanged() { enabledChanged(); }
void Component::OnFocusStateChanged() { focusStateChanged(); }

void Component::ApplyTheme()
{
    font = std::get<std::shared_ptr<Gdiplus::Font>>(GetThemeValue("font"));
}

void Component::OnInstanceSet() {}
void Component::ApplyLocalisation() {}
void Component::OnTimer(int) {}

void Component::OnChar(int character)
{
    if (hasFocus) {
        if (character == VK_TAB)
            MoveFocusNext();
        else if (character == VK_RETURN)
            DefaultAction();
    }
    for (const auto& child : children) {
        if (child->handle)
            PostMessageW(child->handle, WM_CHAR, static_cast<WPARAM>(character), 0);
    }
}

void Component::OnKeyDown(int key)
{
    for (const auto& child : children) {
        if (child->handle)
            PostMessageW(child->handle, WM_KEYDOWN, static_cast<WPARAM>(key), 0);
    }
}

void Component::MoveFocusNext()
{
    if (!hasFocus)
        return;
    if (const auto owner = parent.lock())
        owner->FocusNext(shared_from_this());
    else
        FocusNext(nullptr);
}

void Component::DefaultAction() {}

void Component::CreateMissingChildWindows()
{
    // A copy: creating a child may add to the list.
    const auto current = children;
    for (const auto& child : current) {
        if (!child->handle)
            child->Create();
    }
}

LRESULT Component::Reflect(HWND from, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (ComponentOf(from))
        return SendMessageW(from, message + kReflectOffset, wParam, lParam);
    return DefWindowProcW(handle, message, wParam, lParam);
}

void Component::RebuildBackBuffer(float widthDip, float heightDip)
{
    const int pixelWidth = static_cast<int>(std::ceil(DpiScale::DipToPixelsX(widthDip)));
    const int pixelHeight = static_cast<int>(std::ceil(DpiScale::DipToPixelsY(heightDip)));
    // The graphics goes before the bitmap it draws on.
    backBufferGraphics.reset();
    backBuffer = std::make_shared<Gdiplus::Bitmap>(pixelWidth, pixelHeight, PixelFormat32bppARGB);
    backBufferGraphics = std::make_shared<Gdiplus::Graphics>(backBuffer.get());
    backBufferGraphics->SetCompositingMode(Gdiplus::CompositingModeSourceOver);
    backBufferGraphics->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    backBufferGraphics->SetCompositingQuality(Gdiplus::CompositingQualityGammaCorrected);
    backBufferGraphics->SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
    backBufferGraphics->Clear(Gdiplus::Color(0x00FFFFFF));
}

LRESULT Component::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto mouseButton = [wParam] { return (wParam & MK_LBUTTON) ? 1 : ((wParam & MK_RBUTTON) ? 3 : 0); };
    const int pointX = static_cast<short>(LOWORD(lParam));
    const int pointY = static_cast<short>(HIWORD(lParam));
    switch (message) {
    case WM_CREATE: {
        const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        OnCreate();
        CreateMissingChildWindows();
        if (const auto owner = parent.lock())
            owner->OnFocusStateChanged();
        else
            OnFocusStateChanged();
        return result;
    }
    case WM_DESTROY:
        OnDestroy();
        for (const auto& child : children) {
            if (child->handle)
                DestroyWindow(child->handle);
        }
        SetHandle(nullptr);
        break;
    case WM_SIZE: {
        const float newWidth = DpiScale::PixelsToDipX(LOWORD(lParam));
        const float newHeight = DpiScale::PixelsToDipY(HIWORD(lParam));
        if (newWidth != clientRect.Width || newHeight != clientRect.Height || !backBufferGraphics)
            RebuildBackBuffer(newWidth, newHeight);
        clientRect = Gdiplus::RectF(0, 0, newWidth, newHeight);
        OnResized(LOWORD(lParam), HIWORD(lParam));
        CreateMissingChildWindows();
        break;
    }
    case WM_SETFOCUS:
        OnFocusChanged(true);
        break;
    case WM_KILLFOCUS:
        OnFocusChanged(false);
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_SHOWWINDOW:
        if (lParam == 0 && (wParam == 0 || wParam == 1)) {
            visible = wParam != 0;
            OnVisibilityChanged();
        }
        break;
    case WM_SETCURSOR:
        ::SetCursor(LoadCursorW(nullptr, cursor));
        return 1;
    case WM_WINDOWPOSCHANGED: {
        const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
        if ((position->flags & SWP_SHOWWINDOW) && !visible) {
            visible = true;
            OnVisibilityChanged();
        } else if ((position->flags & SWP_HIDEWINDOW) && visible) {
            visible = false;
            OnVisibilityChanged();
        }
        RaiseAutomationEvent(kLayoutInvalidatedEventId);
        break;
    }
    case WM_NOTIFY:
        return Reflect(reinterpret_cast<const NMHDR*>(lParam)->hwndFrom, message, wParam, lParam);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        return Reflect(reinterpret_cast<HWND>(lParam), message, wParam, lParam);
    case WM_NCHITTEST:
        return HitTest(pointX, pointY);
    case WM_KEYDOWN:
        OnKeyDown(static_cast<int>(wParam));
        break;
    case WM_CHAR:
        OnChar(static_cast<int>(wParam));
        break;
    case WM_TIMER:
        OnTimer(static_cast<int>(wParam));
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(MouseEventArgs(mouseButton(), 0, pointX, pointY));
        break;
    case WM_LBUTTONDOWN:
        OnMouseDown(MouseEventArgs(1, 0, pointX, pointY));
        break;
    case WM_LBUTTONUP:
        OnMouseUp(MouseEventArgs(1, 0, pointX, pointY));
        break;
    case WM_RBUTTONDOWN:
        OnMouseDown(MouseEventArgs(3, 0, pointX, pointY));
        break;
    case WM_RBUTTONUP:
        OnMouseUp(MouseEventArgs(3, 0, pointX, pointY));
        break;
    case WM_MOUSEWHEEL: {
        const MouseEventArgs args(mouseButton(), static_cast<short>(HIWORD(wParam)), pointX, pointY);
        const HWND under = WindowFromPoint(POINT{pointX, pointY});
        Component* target = under != window ? ComponentOf(under) : this;
        if (target)
            target->OnMouseWheel(args);
        break;
    }
    case WM_MOUSELEAVE:
        mouseInside = false;
        OnMouseLeave();
        break;
    case kInvokeMessage: {
        auto* fn = reinterpret_cast<std::function<void()>*>(lParam);
        if (fn) {
            const std::unique_ptr<std::function<void()>> owned(fn);
            (*owned)();
        }
        return 0;
    }
    case WM_NCLBUTTONDBLCLK:
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Component::Invoke(std::function<void()> fn, bool wait)
{
    auto copy = std::make_unique<std::function<void()>>(std::move(fn));
    const HWND target = handle;
    if (!target || !IsWindow(target))
        return;
    const LPARAM parameter = reinterpret_cast<LPARAM>(copy.get());
    if (wait) {
        // The window thread takes the callable over as soon as the message arrives.
        copy.release();
        SendMessageW(target, kInvokeMessage, 0, parameter);
    } else if (PostMessageW(target, kInvokeMessage, 0, parameter)) {
        copy.release();
    }
}

void Component::SetInstance(HINSTANCE value)
{
    instance = value;
    OnInstanceSet();
}

void Component::SetThemeManager(std::shared_ptr<IThemeManager> manager)
{
    themeManager = std::move(manager);
    ApplyTheme();
    themeConnection = themeManager->themeChanged.connect([this] { ApplyTheme(); });
}

void Component::SetAnimationManager(std::shared_ptr<IAnimationManager> manager)
{
    animationManager = std::move(manager);
}

void Component::SetLocalisationManager(std::shared_ptr<ILocalisationManager> manager)
{
    localisationManager = std::move(manager);
    ApplyLocalisation();
}

ThemeValue Component::GetThemeValue(const std::string& key) { return themeManager->Get(typeNames, key); }

void Component::AddTypeNames(const std::vector<std::string>& names)
{
    typeNames.insert(typeNames.end(), names.begin(), names.end());
}

void Component::RefreshLocalisation()
{
    if (!localisationManager)
        return;
    ApplyLocalisation();
    Invalidate();
}

void Component::BringToTop()
{
    if (const auto owner = parent.lock()) {
        auto& siblings = owner->children;
        const auto self = shared_from_this();
        for (auto it = siblings.begin(); it != siblings.end(); ++it) {
            if (*it == self) {
                siblings.erase(it);
                siblings.push_back(self);
                break;
            }
        }
    }
    if (handle)
        BringWindowToTop(handle);
}

LRESULT CALLBACK Component::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Component* component = nullptr;
    if (message == WM_NCCREATE) {
        component = static_cast<Component*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (component) {
            component->SetHandle(window);
            SetPropW(window, kComponentProperty, component);
        }
    } else {
        component = ComponentOf(window);
    }
    if (!component)
        return DefWindowProcW(window, message, wParam, lParam);
    // No exception may cross into the system's message dispatch: the first one is kept for the
    // code that sent or dispatched the message to throw again.
    try {
        return component->HandleMessage(window, message, wParam, lParam);
    } catch (const std::exception& e) {
        HALVLIB_LOG(halvlib::logging::Error) << "Window message " << message << " failed: " << e.what();
        if (!pendingWindowException)
            pendingWindowException = std::current_exception();
    } catch (...) {
        HALVLIB_LOG(halvlib::logging::Error) << "Window message " << message << " failed";
        if (!pendingWindowException)
            pendingWindowException = std::current_exception();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RethrowWindowException()
{
    if (pendingWindowException)
        std::rethrow_exception(std::exchange(pendingWindowException, nullptr));
}

}  // namespace F3
