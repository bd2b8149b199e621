#include "F3/Page.h"

#include <utility>

namespace F3 {

Page::Page(float x, float y, float width, float height) : PageSubComponent(x, y, width, height) {}

void Page::SetNavigator(std::function<void(int)> given) { navigator = std::move(given); }

}  // namespace F3
