#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "F3/AccessibleComponent.h"
#include "F3/ContainerAccessibilityProvider.h"
#include "F3/EmbeddedThemeResourceLoader.h"
#include "F3/FontManager.h"
#include "F3/ILocalisationManager.h"
#include "F3/IThemeManager.h"
#include "F3/Painting.h"
#include "F3/ThemeManager.h"
#include "Shared/VeskUtilities/ResourceHelper.h"

// What the tests of buttons, title-bar buttons and the header bar share.
namespace test {

inline void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Texts by key; an unknown key comes back as it is.
class FakeLocalisation : public F3::ILocalisationManager {
public:
    std::wstring Get(std::wstring_view key, const std::map<std::wstring, std::wstring>& = {}) override
    {
        const auto found = texts.find(std::wstring(key));
        return found == texts.end() ? std::wstring(key) : found->second;
    }
    std::wstring GetUpper(std::wstring_view key, const std::map<std::wstring, std::wstring>& = {}) override
    {
        return Get(key);
    }
    std::wstring CurrentLanguage() override { return L"en-us"; }

    std::map<std::wstring, std::wstring> texts;
};

// The program's own embedded theme, with its own fonts.
class EmbeddedTheme {
public:
    EmbeddedTheme()
        : fonts(F3::FontManager::InstallerFonts()), resources(GetModuleHandleW(nullptr)),
          loader(&resources, F3::EmbeddedThemeResourceLoader::InstallerThemes()),
          manager(std::make_shared<F3::ThemeManager>(&fonts, &loader, std::make_shared<FakeLocalisation>(), L"theme"))
    {
    }
    EmbeddedTheme(const EmbeddedTheme&) = delete;
    EmbeddedTheme& operator=(const EmbeddedTheme&) = delete;

    F3::FontManager fonts;
    Vesk::Utilities::Resources::ResourceHelper resources;
    F3::EmbeddedThemeResourceLoader loader;
    std::shared_ptr<F3::ThemeManager> manager;
};

// One value per key whatever the component's path; the test changes them and fires the signal.
class FakeTheme : public F3::IThemeManager {
public:
    F3::ThemeValue Get(const std::vector<std::string>&, const std::string& key) override { return values.at(key); }

    std::map<std::string, F3::ThemeValue> values;
};

// A borderless top-level window that keeps the system commands it is sent instead of acting on
// them.
class CommandWindow : public F3::AccessibleComponent<F3::Accessibility::ContainerAccessibilityProvider,
                                                     F3::Accessibility::IContainerAccessibilityExtension> {
public:
    CommandWindow(float width, float height) : AccessibleComponent(0, 0, width, height) {}

    void CreateParams(F3::CreateParamsRecord& params) override
    {
        AccessibleComponent::CreateParams(params);
        params.style |= WS_POPUP;
    }
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_SYSCOMMAND) {
            commands.push_back(static_cast<int>(wParam & 0xFFF0));
            return 0;
        }
        return AccessibleComponent::HandleMessage(window, message, wParam, lParam);
    }

    // Paints the whole tree into this window's back buffer, as the pump does.
    void PaintAll()
    {
        if (GetBackBufferGraphics())
            F3::PaintTree(*this, *GetBackBufferGraphics(), GetClientRect());
    }

    // Transparent black without a window.
    Gdiplus::Color PixelAt(int x, int y) const
    {
        Gdiplus::Color colour(0, 0, 0, 0);
        if (GetBackBuffer())
            GetBackBuffer()->GetPixel(x, y, &colour);
        return colour;
    }

    std::vector<int> commands;
};

}  // namespace test
