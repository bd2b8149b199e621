#include "F3/AnimationFactory.h"

#include "F3/AnimationEngine.h"
#include "F3/WinAnimation.h"
#include "halvlib/Logging.h"

namespace F3 {

std::shared_ptr<IAnimationManager> AnimationFactory::Create()
{
    try {
        return std::make_shared<WinAnimation>();
    } catch (const AnimationUnavailableException&) {
        // Some systems do not register the animation classes (Wine, stripped-down images).
        HALVLIB_LOG(halvlib::logging::Info) << "Animation: using the built-in animation engine";
    }
    AnimationEngine engine = CreateAnimationEngine();
    return std::make_shared<WinAnimation>(engine.manager, engine.library, engine.timer);
}

}  // namespace F3
