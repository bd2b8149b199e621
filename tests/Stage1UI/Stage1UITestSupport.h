#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "F3/Component.h"
#include "F3/DpiScale.h"
#include "F3/EmbeddedLocalisationResourceLoader.h"
#include "F3/EmbeddedThemeResourceLoader.h"
#include "F3/FontManager.h"
#include "F3/LocalisationManager.h"
#include "F3/ThemeManager.h"
#include "Installer/SetupControllerInterfaces.h"
#include "Shared/VeskUtilities/ILocaleHelper.h"
#include "Shared/VeskUtilities/ResourceHelper.h"
#include "support/AnimationTestEngine.h"
#include "support/GdiplusSession.h"
#include "support/PagesTestSupport.h"
#include "support/Process.h"

// What the tests of the stage-1 window and its pages share.
namespace test {

// The controller's four faces, as the window sees them. The signals fire from a thread of their
// own, as they do from an attempt's worker; the button actions are only counted.
class FakeController : public S1::IErrorController,
                       public S1::IStageController,
                       public S1::IProgressController,
                       public S1::ISuccessController {
public:
    void Retry() override { ++retries; }
    void OpenExpiredPage() override { ++expiredPages; }
    void Close() override { ++closes; }

    // Each returns once the worker has emitted (what it posts to the window is still queued).
    void SignalStage(S1::InstallerStage value)
    {
        std::thread([this, value] {
            stage = value;
            OnStage(value);
        }).join();
    }
    void SignalProgress(std::uint32_t percent)
    {
        std::thread([this, percent] { OnProgress(S1::ProgressState{percent}); }).join();
    }
    void SignalErrorState(const S1::ErrorState& state)
    {
        std::thread([this, state] {
            errorState = state;
            OnErrorState(state);
        }).join();
    }

    int retries = 0;
    int expiredPages = 0;
    int closes = 0;
};

// The user's preferred UI languages, as the system lists them.
class FakeLocale : public Vesk::Utilities::Locale::ILocaleHelper {
public:
    explicit FakeLocale(std::wstring language) : language(std::move(language)) {}

    BOOL GetUserPreferredUILanguages(ULONG* count, wchar_t* buffer, ULONG* bufferSize) override
    {
        *count = 1;
        *bufferSize = static_cast<ULONG>(language.size() + 2);
        if (buffer) {
            language.copy(buffer, language.size());
            buffer[language.size()] = L'\0';
            buffer[language.size() + 1] = L'\0';
        }
        return TRUE;
    }

private:
    std::wstring language;
};

// The program's own tables of texts, English first; Use switches to another carried language,
// as if the program had started in it. Overrides answer before the tables.
class Languages : public F3::ILocalisationManager {
public:
    Languages()
        : resources(GetModuleHandleW(nullptr)),
          loader(&resources, F3::EmbeddedLocalisationResourceLoader::InstallerLanguages())
    {
        Use(L"en-US");
    }
    Languages(const Languages&) = delete;
    Languages& operator=(const Languages&) = delete;

    void Use(const std::wstring& preferred)
    {
        locale = std::make_unique<FakeLocale>(preferred);
        current = std::make_unique<F3::LocalisationManager>(locale.get(), &loader, L"en-us");
    }

    std::wstring Get(std::wstring_view key, const std::map<std::wstring, std::wstring>& substitutions = {}) override
    {
        const auto found = overrides.find(std::wstring(key));
        return found != overrides.end() ? found->second : current->Get(key, substitutions);
    }
    std::wstring GetUpper(std::wstring_view key,
                          const std::map<std::wstring, std::wstring>& substitutions = {}) override
    {
        return current->GetUpper(key, substitutions);
    }
    std::wstring CurrentLanguage() override { return current->CurrentLanguage(); }

    std::map<std::wstring, std::wstring> overrides;

private:
    Vesk::Utilities::Resources::ResourceHelper resources;
    F3::EmbeddedLocalisationResourceLoader loader;
    std::unique_ptr<FakeLocale> locale;
    std::unique_ptr<F3::LocalisationManager> current;
};

// The managers the program runs its window with: its embedded theme, fonts and texts, and the
// built-in animation engine on a clock the test sets. Fonts are made for the DPI of the moment:
// make these after DpiScale::SetForTesting.
class Managers {
public:
    Managers()
        : fonts(F3::FontManager::InstallerFonts()), resources(GetModuleHandleW(nullptr)),
          themeLoader(&resources, F3::EmbeddedThemeResourceLoader::InstallerThemes()),
          localisation(std::make_shared<Languages>()),
          theme(std::make_shared<F3::ThemeManager>(&fonts, &themeLoader, localisation, L"theme"))
    {
    }
    Managers(const Managers&) = delete;
    Managers& operator=(const Managers&) = delete;

    F3::FontManager fonts;
    Vesk::Utilities::Resources::ResourceHelper resources;
    F3::EmbeddedThemeResourceLoader themeLoader;
    std::shared_ptr<Languages> localisation;
    std::shared_ptr<F3::ThemeManager> theme;
    AnimationTestEngine engine;
};

// A borderless top-level window for a page under test; its client area is its whole size.
using Root = PagesRoot;

// Runs what has been posted to this thread's components (Invoke), and only that: a quit
// message or anything else stays for the loop that runs the thread.
inline void RunPosted()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, F3::kInvokeMessage, F3::kInvokeMessage, PM_REMOVE)) {
        DispatchMessageW(&message);
        F3::RethrowWindowException();
    }
}

// Empties the thread's queue (outside a run loop only).
inline void PumpAll()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// A left-button press and release in the middle of a component's window.
inline void Click(const F3::Component& component)
{
    const LPARAM middle = MAKELPARAM(static_cast<int>(F3::DpiScale::DipToPixelsX(component.GetWidth() / 2)),
                                     static_cast<int>(F3::DpiScale::DipToPixelsY(component.GetHeight() / 2)));
    SendMessageW(component.GetHandle(), WM_LBUTTONDOWN, MK_LBUTTON, middle);
    SendMessageW(component.GetHandle(), WM_LBUTTONUP, 0, middle);
}

// Enter on a component that has the keyboard focus.
inline void PressEnter(const F3::Component& component)
{
    SetFocus(component.GetHandle());
    SendMessageW(component.GetHandle(), WM_CHAR, VK_RETURN, 0);
}

// Writes a bitmap as a PNG file into the build's screenshot folder; returns the file's path.
inline std::wstring SaveScreenshot(Gdiplus::Bitmap& bitmap, const std::wstring& name)
{
    const std::wstring folder = FromBuildPath(STAGE1UI_SCREENSHOT_FOLDER);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throw std::runtime_error("CreateDirectoryW failed: " + std::to_string(GetLastError()));
    UINT count = 0;
    UINT size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0)
        throw std::runtime_error("GetImageEncodersSize failed");
    std::vector<std::uint8_t> buffer(size);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, encoders) != Gdiplus::Ok)
        throw std::runtime_error("GetImageEncoders failed");
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring_view(encoders[i].MimeType) != L"image/png")
            continue;
        const std::wstring path = folder + L"\\" + name + L".png";
        const Gdiplus::Status status = bitmap.Save(path.c_str(), &encoders[i].Clsid, nullptr);
        if (status != Gdiplus::Ok)
            throw std::runtime_error("Bitmap::Save failed: " + std::to_string(status));
        return path;
    }
    throw std::runtime_error("no PNG encoder");
}


// A page as the window's container holds it, below the header, over the embedded theme, texts
// and fonts, with a fake controller and the animation engine on a fake clock.
template <typename PageType>
class PageTest : public testing::Test {
protected:
    void SetUp() override
    {
        EnsureGdiplus();
        F3::DpiScale::SetForTesting(96, 96);
        managers = std::make_unique<Managers>();
    }
    void TearDown() override
    {
        root.reset();
        page.reset();
        PumpAll();
        F3::DpiScale::SetForTesting(96, 96);
    }

    void CreatePage(float height)
    {
        root = std::make_shared<Root>(0, 0, 400, height);
        root->SetInstance(GetModuleHandleW(nullptr));
        root->SetThemeManager(managers->theme);
        root->SetAnimationManager(managers->engine.animation);
        root->SetLocalisationManager(managers->localisation);
        page = std::make_shared<PageType>(&controller);
        page->SetBounds(0, 0, 400, height);
        root->AddChild(page);
        root->Create();
    }

    FakeController controller;
    std::unique_ptr<Managers> managers;
    std::shared_ptr<Root> root;
    std::shared_ptr<PageType> page;
};

}  // namespace test
