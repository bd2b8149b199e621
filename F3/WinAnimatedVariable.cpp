#include "F3/WinAnimatedVariable.h"

#include <utility>

#include "F3/AnimationHresult.h"
#include "halvlib/Logging.h"

namespace F3 {

WinAnimatedVariable::WinAnimatedVariable(std::vector<Microsoft::WRL::ComPtr<IUIAnimationVariable2>> components)
    : components(std::move(components))
{
}

std::vector<float> WinAnimatedVariable::Read()
{
    std::vector<float> values;
    values.reserve(components.size());
    for (const auto& component : components) {
        double value = 0;
        const HRESULT result = component->GetValue(&value);
        if (FAILED(result)) {
            HALVLIB_LOG(halvlib::logging::Error) << "Animation: failed to read variable " << AnimationHresultText(result);
            return {};
        }
        values.push_back(static_cast<float>(value));
    }
    return values;
}

bool WinAnimatedVariable::HasChanged()
{
    for (const auto& component : components) {
        double value = 0;
        double previous = 0;
        HRESULT result = component->GetValue(&value);
        if (SUCCEEDED(result))
            result = component->GetPreviousValue(&previous);
        if (FAILED(result)) {
            HALVLIB_LOG(halvlib::logging::Error) << "Animation: failed to read variable " << AnimationHresultText(result);
            return false;
        }
        if (value != previous)
            return true;
    }
    return false;
}

}  // namespace F3
