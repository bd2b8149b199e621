#pragma once

#include <windows.h>
#include <uianimation.h>

#include <wrl/client.h>

#include <vector>

#include "F3/IAnimatedVariable.h"

namespace F3 {

// The animation manager's variables behind one animated value, one per component.
class WinAnimatedVariable : public IAnimatedVariable {
public:
    explicit WinAnimatedVariable(std::vector<Microsoft::WRL::ComPtr<IUIAnimationVariable2>> components);

    std::vector<float> Read() override;
    bool HasChanged() override;

    const std::vector<Microsoft::WRL::ComPtr<IUIAnimationVariable2>>& Components() const { return components; }

private:
    std::vector<Microsoft::WRL::ComPtr<IUIAnimationVariable2>> components;
};

}  // namespace F3
