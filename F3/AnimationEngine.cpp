#include "F3/AnimationEngine.h"

#include <utility>

#include "F3/AnimationScheduler.h"
#include "F3/AnimationTransitionLibrary.h"

namespace F3 {

AnimationEngine CreateAnimationEngine(AnimationClock clock)
{
    AnimationEngine engine;
    engine.manager = MakeComObject<AnimationScheduler>();
    engine.library = MakeComObject<AnimationTransitionLibrary>();
    engine.timer = MakeComObject<AnimationTimer>(std::move(clock));
    return engine;
}

}  // namespace F3
