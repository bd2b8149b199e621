#pragma once

#include <map>
#include <memory>

#include <boost/signals2/connection.hpp>

#include "F3/AccessibleComponent.h"
#include "F3/ContainerAccessibilityProvider.h"
#include "F3/Page.h"

namespace F3 {

// Holds pages under integer keys and shows one of them at a time, switching at once or by
// sliding the new page up from below. Every page covers the container's whole area.
class PageContainer : public AccessibleComponent<Accessibility::ContainerAccessibilityProvider,
                                                 Accessibility::IContainerAccessibilityExtension> {
public:
    PageContainer(int firstKey, float left, float top, float width, float height, std::shared_ptr<Page> firstPage);

    // A key already in use keeps its first page; the later one is prepared but never shown.
    void AddPage(int key, std::shared_ptr<Page> page);
    // Throws std::out_of_range "Page does not exist" for a key never added. The switch itself
    // runs later on the window thread.
    void ShowPage(int key, bool animated);
    int GetCurrentKey() const { return currentKey; }

    void OnCreate() override;
    void AddChild(std::shared_ptr<Component> child, bool initialFocus = false) override;
    void OnAnimationTick() override;

private:
    void UpdateView();
    static void ApplyAnimatedValues(Page& page);

    std::map<int, std::shared_ptr<Page>> pages;
    int currentKey;
    int firstKey;
    std::shared_ptr<Page> previousPage;
    std::shared_ptr<Page> outgoingPage;
    boost::signals2::scoped_connection resizeConnection;
    // What the pages' navigators reach the container through; it goes with the container, so a
    // page that outlives it navigates nowhere.
    std::shared_ptr<PageContainer*> self;
};

}  // namespace F3
