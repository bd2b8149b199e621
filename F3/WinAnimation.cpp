#include "F3/WinAnimation.h"

#include <utility>

#include "F3/AnimationHresult.h"
#include "F3/WinStoryboard.h"
#include "halvlib/Logging.h"

namespace F3 {

using Microsoft::WRL::ComPtr;

namespace {

template <typename Interface>
void Create(REFCLSID type, REFIID interfaceId, ComPtr<Interface>& object, const char* failure)
{
    const HRESULT result = CoCreateInstance(type, nullptr, CLSCTX_ALL, interfaceId,
                                            reinterpret_cast<void**>(object.ReleaseAndGetAddressOf()));
    if (FAILED(result)) {
        HALVLIB_LOG(halvlib::logging::Error) << failure << AnimationHresultText(result);
        throw AnimationUnavailableException();
    }
}

}  // namespace

WinAnimation::WinAnimation()
{
    Create(CLSID_UIAnimationTimer, IID_IUIAnimationTimer, timer, "Animation: failed to create animation timer ");
    Create(CLSID_UIAnimationTransitionLibrary2, IID_IUIAnimationTransitionLibrary2, library,
           "Animation: failed to create tranition library ");
    Create(CLSID_UIAnimationManager2, IID_IUIAnimationManager2, manager,
           "Animation: failed to create animation manager ");
}

WinAnimation::WinAnimation(ComPtr<IUIAnimationManager2> manager, ComPtr<IUIAnimationTransitionLibrary2> library,
                           ComPtr<IUIAnimationTimer> timer)
    : manager(std::move(manager)), library(std::move(library)), timer(std::move(timer))
{
    if (!this->manager || !this->library || !this->timer)
        throw AnimationUnavailableException();
}

WinAnimation::~WinAnimation()
{
    if (manager) {
        manager->SetTrimPriorityComparison(nullptr);
        manager->Shutdown();
    }
}

bool WinAnimation::Update()
{
    UI_ANIMATION_MANAGER_STATUS status = UI_ANIMATION_MANAGER_IDLE;
    if (FAILED(manager->GetStatus(&status)) || status == UI_ANIMATION_MANAGER_IDLE)
        return false;
    double now = 0;
    if (FAILED(timer->GetTime(&now)))
        return false;
    UI_ANIMATION_UPDATE_RESULT result = UI_ANIMATION_UPDATE_NO_CHANGE;
    if (FAILED(manager->Update(now, &result)))
        return false;
    return result == UI_ANIMATION_UPDATE_VARIABLES_CHANGED;
}

std::unique_ptr<IStoryboard> WinAnimation::CreateStoryboard()
{
    return std::make_unique<WinStoryboard>(manager, library, timer);
}

}  // namespace F3
