#include "F3/ButtonAccessibilityProvider.h"

namespace F3::Accessibility {

HRESULT ButtonAccessibilityProvider::Invoke()
{
    return Perform<IButtonAccessibilityExtension>("Invoke",
                                                  [](IButtonAccessibilityExtension& button) { button.Invoke(); });
}

bool ButtonAccessibilityProvider::SupportsPattern(const Component& locked, PATTERNID patternId) const
{
    return patternId == UIA_InvokePatternId;
}

}  // namespace F3::Accessibility
