// Looks at the installer's window from outside, as a user would, for the end-to-end tests:
//   WindowProbe state          "none", or "visible width height left top" in pixels
//   WindowProbe click X Y      presses and releases the left button at (X, Y), pixels from the
//                              window's top-left corner, on the deepest window there
//   WindowProbe close          asks the window to close
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HWND FindInstallerWindow()
{
    return FindWindowW(L"HalvexVeskF3", L"Halvex Vesk");
}

int State(HWND window)
{
    RECT frame{};
    GetWindowRect(window, &frame);
    std::printf("%d %ld %ld %ld %ld\n", IsWindowVisible(window) ? 1 : 0, frame.right - frame.left,
                frame.bottom - frame.top, frame.left, frame.top);
    return 0;
}

int Click(HWND window, int x, int y)
{
    POINT point{x, y};
    RECT frame{};
    GetWindowRect(window, &frame);
    point.x += frame.left;
    point.y += frame.top;
    HWND target = window;
    for (;;) {
        POINT inside = point;
        ScreenToClient(target, &inside);
        const HWND child = ChildWindowFromPointEx(target, inside, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED);
        if (!child || child == target)
            break;
        target = child;
    }
    POINT client = point;
    ScreenToClient(target, &client);
    const LPARAM at = MAKELPARAM(client.x, client.y);
    PostMessageW(target, WM_MOUSEMOVE, 0, at);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(target, WM_LBUTTONUP, 0, at);
    std::printf("clicked %p at %ld %ld\n", static_cast<void*>(target), client.x, client.y);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: WindowProbe state | click X Y | close\n");
        return 2;
    }
    const std::wstring command = argv[1];
    const HWND window = FindInstallerWindow();
    if (command == L"state") {
        if (!window) {
            std::printf("none\n");
            return 0;
        }
        return State(window);
    }
    if (!window) {
        std::fprintf(stderr, "no installer window\n");
        return 1;
    }
    if (command == L"click" && argc == 4)
        return Click(window, _wtoi(argv[2]), _wtoi(argv[3]));
    if (command == L"close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    std::fprintf(stderr, "usage: WindowProbe state | click X Y | close\n");
    return 2;
}
