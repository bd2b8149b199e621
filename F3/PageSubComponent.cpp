#include "F3/PageSubComponent.h"

#include "F3/DpiScale.h"

namespace F3 {

PageSubComponent::PageSubComponent(float left, float top, float width, float height)
    : AccessibleComponent(left, top, width, height)
{
    AddTypeNames({"sub-page"});
}

void PageSubComponent::SetBounds(float left, float top, float width, float height)
{
    SetSize(width, height);
    SetPosition(left, top);
}

void PageSubComponent::Scroll(int, int) {}
void PageSubComponent::SetScrollPercent(double, double) {}
bool PageSubComponent::IsHorizontallyScrollable() const { return false; }
bool PageSubComponent::IsVerticallyScrollable() const { return false; }
double PageSubComponent::GetHorizontalScrollPercent() const { return 0; }
double PageSubComponent::GetVerticalScrollPercent() const { return 0; }
double PageSubComponent::GetHorizontalViewSize() const { return DpiScale::DipToPixelsX(GetWidth()); }
double PageSubComponent::GetVerticalViewSize() const { return DpiScale::DipToPixelsY(GetHeight()); }
bool PageSubComponent::IsScrollPatternAvailable() const { return false; }
void PageSubComponent::ScrollIntoView() {}

}  // namespace F3
