#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "F3/Component.h"
#include "F3/EmbeddedThemeResourceLoader.h"
#include "F3/IFontManager.h"
#include "F3/ILocalisationManager.h"
#include "F3/ThemeManager.h"
#include "Shared/VeskUtilities/ResourceHelper.h"

// What the page, page container and progress bar tests share.
namespace test {

// The top-level window the components under test live in: borderless, so its client area is
// its whole size.
class PagesRoot : public F3::Component {
public:
    using F3::Component::Component;
    bool IsKeyboardFocusable() const override { return false; }
    bool HasKeyboardFocus() const override { return false; }
    void RaiseAutomationEvent(int) override {}
    void CreateParams(F3::CreateParamsRecord& params) override
    {
        F3::Component::CreateParams(params);
        params.style |= WS_POPUP;
    }
};

// The program's embedded theme; fonts are not made (the components here draw no text).
class EmbeddedTheme {
public:
    EmbeddedTheme()
        : resources(GetModuleHandleW(nullptr)),
          loader(&resources, F3::EmbeddedThemeResourceLoader::InstallerThemes()),
          manager(std::make_shared<F3::ThemeManager>(&fonts, &loader, std::make_shared<English>(), L"theme"))
    {
    }
    EmbeddedTheme(const EmbeddedTheme&) = delete;
    EmbeddedTheme& operator=(const EmbeddedTheme&) = delete;

    const std::shared_ptr<F3::ThemeManager>& Manager() const { return manager; }

private:
    class NoFonts : public F3::IFontManager {
    public:
        std::shared_ptr<Gdiplus::Font> GetFont(double, bool, bool, bool, std::wstring) override { return nullptr; }
    };
    class English : public F3::ILocalisationManager {
    public:
        std::wstring Get(std::wstring_view key, const std::map<std::wstring, std::wstring>&) override
        {
            return std::wstring(key);
        }
        std::wstring GetUpper(std::wstring_view key, const std::map<std::wstring, std::wstring>&) override
        {
            return std::wstring(key);
        }
        std::wstring CurrentLanguage() override { return L"en-us"; }
    };

    NoFonts fonts;
    Vesk::Utilities::Resources::ResourceHelper resources;
    F3::EmbeddedThemeResourceLoader loader;
    std::shared_ptr<F3::ThemeManager> manager;
};

// Runs what has been posted to the thread's windows.
inline void PumpPages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace test
