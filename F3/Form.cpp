#include "F3/Form.h"

#include <utility>
#include <vector>

#include "F3/DpiScale.h"
#include "F3/HeaderBar.h"
#include "F3/Painting.h"

namespace F3 {

Form::Form(std::wstring windowName, float headerHeight, float width, float height, const HeaderBarSettings& header)
    : AccessibleComponent(0, 0, width, height, std::move(windowName)),
      headerHeight(headerHeight),
      height(height),
      headerSettings(header)
{
    AddTypeNames({"form"});
    SetFocusable(false);
}

Form::~Form()
{
    // Icons are not GDI objects: DeleteObject would leave them behind.
    if (smallIcon)
        DestroyIcon(smallIcon);
    if (bigIcon && bigIcon != smallIcon)
        DestroyIcon(bigIcon);
}

void Form::SetIcons(HICON small, HICON big)
{
    if (smallIcon && smallIcon != small && smallIcon != big)
        DestroyIcon(smallIcon);
    if (bigIcon && bigIcon != smallIcon && bigIcon != small && bigIcon != big)
        DestroyIcon(bigIcon);
    smallIcon = small;
    bigIcon = big;
}

bool Form::Run(std::shared_ptr<IThemeManager> theme, std::shared_ptr<IAnimationManager> animation,
               std::shared_ptr<ILocalisationManager> localisation, HINSTANCE instance, const HANDLE* firstHandle,
               HANDLE secondHandle)
{
    SetInstance(instance);
    SetThemeManager(std::move(theme));
    SetAnimationManager(std::move(animation));
    SetLocalisationManager(std::move(localisation));
    Create();

    const HWND window = GetHandle();
    ShowWindow(window, SW_SHOW);
    BringWindowToTop(window);
    SetForegroundWindow(window);
    SetFocus(window);
    BringToFront();

    while (PumpAndPaint(*this)) {
        std::vector<HANDLE> handles;
        const HANDLE first = firstHandle ? *firstHandle : nullptr;
        if (first)
            handles.push_back(first);
        if (secondHandle)
            handles.push_back(secondHandle);
        const DWORD woken = MsgWaitForMultipleObjectsEx(static_cast<DWORD>(handles.size()), handles.data(), INFINITE,
                                                        QS_ALLINPUT, MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
        if (first && woken == WAIT_OBJECT_0) {
            // The event stays signalled until reset: answer each signal once, not every round.
            ResetEvent(first);
            BringToFront();
        } else if (secondHandle && woken == WAIT_OBJECT_0 + (first ? 1 : 0)) {
            Close();
        }
    }
    return true;
}

void Form::OnNcCreate() {}

void Form::OnNcDestroy() { PostQuitMessage(0); }

bool Form::CanClose() { return true; }

void Form::OnClose() {}

void Form::BringToFront()
{
    const HWND window = GetHandle();
    if (!window)
        return;
    ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
    BringWindowToTop(window);
    SetForegroundWindow(window);
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void Form::SetHeightAnimated(float target)
{
    if (!GetAnimationManager())
        return;
    heightStoryboard = GetAnimationManager()->CreateStoryboard();
    heightStoryboard->Instant(resizing, Animated<int>(1))
        .LinearSpeed(height, Animated<float>(target), 50.0)
        .Then()
        .Instant(resizing, Animated<int>(0));
    heightStoryboard->Schedule(0.0);
}

void Form::Close()
{
    if (const HWND window = GetHandle())
        SendMessageW(window, WM_CLOSE, 0, 0);
}

void Form::Minimise()
{
    if (const HWND window = GetHandle())
        SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

void Form::Restore()
{
    if (const HWND window = GetHandle())
        ShowWindow(window, SW_RESTORE);
}

bool Form::IsMinimised() const { return IsIconic(GetHandle()) != FALSE; }

bool Form::IsTopmost() const { return GetHandle() != nullptr && GetHandle() == GetTopWindow(nullptr); }

void Form::CreateParams(CreateParamsRecord& params)
{
    AccessibleComponent::CreateParams(params);
    params.style |= WS_POPUP | WS_SYSMENU;
    if (!centreOnWorkArea)
        return;
    RECT work{};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        params.x = static_cast<float>(work.right - work.left - params.width) * 0.5f + static_cast<float>(work.left);
        params.y = static_cast<float>(work.bottom - work.top - params.height) * 0.5f + static_cast<float>(work.top);
    }
}

void Form::OnCreate()
{
    const HWND window = GetHandle();
    RECT frame{};
    if (GetWindowRect(window, &frame))
        SetWindowPos(window, nullptr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOACTIVATE);
    if (smallIcon)
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    if (bigIcon)
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    AccessibleComponent::OnCreate();
    headerBar = std::make_shared<HeaderBar>(window, GetWidth(), headerHeight, headerSettings);
    AddChild(headerBar);
    SetTimer(window, kAnimationTimerId, kAnimationTimerMilliseconds, nullptr);
}

LRESULT Form::HitTest(int screenX, int screenY)
{
    POINT point{screenX, screenY};
    ScreenToClient(GetHandle(), &point);
    const float stripWidth = DpiScale::DipToPixelsX(GetWidth());
    const float stripHeight = DpiScale::DipToPixelsY(headerHeight);
    if (point.x >= 0 && point.y >= 0 && point.x < stripWidth && point.y < stripHeight)
        return HTCAPTION;
    return AccessibleComponent::HitTest(screenX, screenY);
}

void Form::OnTimer(int id)
{
    if (static_cast<UINT_PTR>(id) == kAnimationTimerId && GetAnimationManager() && GetAnimationManager()->Update())
        OnAnimationTick();
}

void Form::OnAnimationTick()
{
    if (height.HasChanged()) {
        SetSize(GetWidth(), height.Get());
        Invalidate();
    }
    AccessibleComponent::OnAnimationTick();
}

LRESULT Form::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        if (CanClose()) {
            OnClose();
            DestroyWindow(window);
        }
        return 0;
    case WM_NCCREATE:
        OnNcCreate();
        break;
    case WM_NCDESTROY:
        OnNcDestroy();
        break;
    case WM_NCCALCSIZE:
        if (wParam == TRUE)
            return 0;
        break;
    case WM_NCACTIVATE:
        return 1;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MOVE && IsResizing())
            return 0;
        break;
    default:
        break;
    }
    return AccessibleComponent::HandleMessage(window, message, wParam, lParam);
}

}  // namespace F3
