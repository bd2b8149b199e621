#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "F3/AccessibleComponent.h"
#include "F3/Animated.h"
#include "F3/HeaderBarSettings.h"
#include "F3/IStoryboard.h"
#include "F3/WindowAccessibilityProvider.h"

namespace F3 {

class HeaderBar;

// The top-level window: a borderless popup centred on the work area, whose header bar is its
// caption, with an animated height and the run loop that owns the thread while it exists.
class Form : public AccessibleComponent<Accessibility::WindowAccessibilityProvider,
                                        Accessibility::IWindowAccessibilityExtension> {
public:
    static constexpr UINT_PTR kAnimationTimerId = 3333;
    static constexpr UINT kAnimationTimerMilliseconds = 40;

    Form(std::wstring windowName, float headerHeight, float width, float height, const HeaderBarSettings& header);
    ~Form() override;

    // Creates the window with the managers, shows it and pumps until it is destroyed. Each time
    // *firstHandle is signalled the window comes to the front (the handle is read anew every
    // round, and reset once acted on); a signalled second handle closes the window.
    virtual bool Run(std::shared_ptr<IThemeManager> theme, std::shared_ptr<IAnimationManager> animation,
                     std::shared_ptr<ILocalisationManager> localisation, HINSTANCE instance,
                     const HANDLE* firstHandle, HANDLE secondHandle = nullptr);
    virtual void OnNcCreate();
    virtual void OnNcDestroy();
    virtual bool CanClose();
    virtual void OnClose();

    // Shows the window in front of the others without leaving it topmost.
    void BringToFront();
    void SetHeightAnimated(float target);

    // The window accessibility extension. Close waits for the window thread, from any thread.
    void Close() override;
    void Minimise() override;
    void Restore() override;
    bool IsMinimised() const override;
    bool IsTopmost() const override;
    int GetInteractionState() const override { return 0; }

    void CreateParams(CreateParamsRecord& params) override;
    void OnCreate() override;
    LRESULT HitTest(int x, int y) override;
    void OnTimer(int id) override;
    void OnAnimationTick() override;
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    const std::shared_ptr<HeaderBar>& GetHeaderBar() const { return headerBar; }
    float GetAnimatedHeight() const { return height.Get(); }
    bool IsResizing() const { return resizing.Get() != 0; }

protected:
    // Taken over by the form, which destroys them; set before the window is created.
    void SetIcons(HICON small, HICON big);

private:
    HICON smallIcon = nullptr;
    HICON bigIcon = nullptr;
    std::shared_ptr<HeaderBar> headerBar;
    bool centreOnWorkArea = true;
    float headerHeight;
    Animated<float> height;
    Animated<int> resizing{0};
    HeaderBarSettings headerSettings;
    std::unique_ptr<IStoryboard> heightStoryboard;
};

}  // namespace F3
