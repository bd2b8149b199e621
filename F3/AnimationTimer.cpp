#include "F3/AnimationTimer.h"

#include <utility>

namespace F3 {

AnimationTimer::AnimationTimer(AnimationClock clock) : clock(std::move(clock))
{
    if (!this->clock)
        this->clock = &AnimationTimer::PerformanceCounterSeconds;
}

double AnimationTimer::PerformanceCounterSeconds()
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    // Both calls always succeed on systems since Windows XP.
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    // Whole seconds and the remainder apart, so that large counts keep their precision.
    const long long whole = counter.QuadPart / frequency.QuadPart;
    const long long rest = counter.QuadPart % frequency.QuadPart;
    return static_cast<double>(whole) + static_cast<double>(rest) / static_cast<double>(frequency.QuadPart);
}

HRESULT AnimationTimer::GetTime(double* seconds)
{
    if (seconds == nullptr)
        return E_POINTER;
    try {
        *seconds = clock();
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace F3
