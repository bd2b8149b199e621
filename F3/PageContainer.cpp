#include "F3/PageContainer.h"

#include <stdexcept>
#include <utility>

#include "F3/IStoryboard.h"

namespace F3 {

PageContainer::PageContainer(int firstKey, float left, float top, float width, float height,
                             std::shared_ptr<Page> firstPage)
    : AccessibleComponent(left, top, width, height), currentKey(firstKey), firstKey(firstKey),
      self(std::make_shared<PageContainer*>(this))
{
    AddTypeNames({"page-container"});
    AddPage(firstKey, std::move(firstPage));
}

void PageContainer::AddPage(int key, std::shared_ptr<Page> page)
{
    const bool stored = pages.emplace(key, page).second;
    page->SetVisible(false);
    page->SetEnabled(false);
    page->SetBounds(0, 0, GetWidth(), GetHeight());
    page->SetNavigator([container = std::weak_ptr<PageContainer*>(self)](int target) {
        if (const auto locked = container.lock())
            (*locked)->ShowPage(target, true);
    });
    // Once the container's window exists its pages are children already; a page that comes
    // later joins them, or it could never be seen.
    if (stored && GetHandle()) {
        AddChild(page);
        page->Create();
    }
}

void PageContainer::ShowPage(int key, bool animated)
{
    const auto found = pages.find(key);
    if (found == pages.end())
        throw std::out_of_range("Page does not exist");
    if (key == currentKey)
        return;
    previousPage = pages.at(currentKey);
    outgoingPage = animated ? previousPage : nullptr;
    currentKey = key;
    Invoke([weak = weak_from_this()] {
        if (const auto locked = weak.lock())
            static_cast<PageContainer&>(*locked).UpdateView();
    }, false);
}

void PageContainer::OnCreate()
{
    AccessibleComponent::OnCreate();
    for (const auto& [key, page] : pages)
        AddChild(page, key == firstKey);
    UpdateView();
    resizeConnection = resized.connect([this] {
        for (const auto& [key, page] : pages)
            page->SetBounds(0, 0, GetWidth(), GetHeight());
    });
}

void PageContainer::AddChild(std::shared_ptr<Component> child, bool initialFocus)
{
    AccessibleComponent::AddChild(std::move(child), initialFocus);
}

void PageContainer::OnAnimationTick()
{
    for (const auto& [key, page] : pages)
        ApplyAnimatedValues(*page);
    AccessibleComponent::OnAnimationTick();
}

void PageContainer::ApplyAnimatedValues(Page& page)
{
    page.SetPosition(page.GetX(), page.Top().Get());

    // A fresh value rather than a plain 0: an animated value refuses plain assignment, and the
    // next switch must be able to raise the page again.
    if (page.Raise().Variable() && page.Raise().Get() != 0) {
        page.Raise() = Animated<int>(0);
        page.BringToTop();
    }

    // Enabled before it is shown: a disabled window cannot take the focus.
    const bool enabled = page.Enabled().Get() == 1;
    if (enabled != page.IsEnabled())
        page.SetEnabled(enabled);

    const bool shown = page.Shown().Get() == 1;
    if (shown != page.IsVisibleFlag()) {
        if (const HWND window = page.GetHandle()) {
            ShowWindow(window, shown ? SW_SHOWNOACTIVATE : SW_HIDE);
            if (shown)
                SetFocus(window);
        } else {
            page.SetVisible(shown);
        }
    }

    // -1 is the alpha before it was ever set.
    const int alpha = page.Fading().Get() == 1 ? page.Alpha().Get() : 255;
    if (alpha >= 0 && alpha != page.GetAlpha())
        page.SetAlpha(alpha);
}

void PageContainer::UpdateView()
{
    const auto& manager = GetAnimationManager();
    if (!manager)
        throw std::runtime_error("No animation manager");
    Page& incoming = *pages.at(currentKey);
    const std::unique_ptr<IStoryboard> storyboard = manager->CreateStoryboard();
    if (!outgoingPage) {
        storyboard->Instant(incoming.Top(), Animated<float>(0.0f))
            .Instant(incoming.Shown(), Animated<int>(1))
            .Instant(incoming.Raise(), Animated<int>(1))
            .Instant(incoming.Enabled(), Animated<int>(1));
        if (previousPage) {
            storyboard->Instant(previousPage->Shown(), Animated<int>(0))
                .Instant(previousPage->Fading(), Animated<int>(0));
        }
        storyboard->Schedule(0);
        return;
    }
    Page& outgoing = *outgoingPage;
    storyboard->Instant(incoming.Top(), Animated<float>(GetHeight()))
        .Instant(incoming.Fading(), Animated<int>(1))
        .Instant(incoming.Alpha(), Animated<int>(255))
        .Instant(incoming.Shown(), Animated<int>(1))
        .Instant(incoming.Raise(), Animated<int>(1))
        .Instant(outgoing.Fading(), Animated<int>(1))
        .Instant(outgoing.Alpha(), Animated<int>(255))
        .Instant(outgoing.Enabled(), Animated<int>(0))
        .Then()
        .Cubic(incoming.Top(), Animated<float>(0.0f), 0.7, 50)
        .Then()
        .Instant(incoming.Enabled(), Animated<int>(1))
        .Instant(incoming.Raise(), Animated<int>(1))
        .Instant(incoming.Fading(), Animated<int>(0))
        .Instant(outgoing.Shown(), Animated<int>(0))
        .Instant(outgoing.Fading(), Animated<int>(0))
        .ReleaseBuilder()
        .Schedule(0);
}

}  // namespace F3
