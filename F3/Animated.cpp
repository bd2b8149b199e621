#include "F3/Animated.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace F3::AnimatedComponents {

namespace {

// Truncated toward zero and kept inside [low, high].
int Truncate(float component, int low, int high)
{
    const double truncated = std::trunc(static_cast<double>(component));
    if (!(truncated >= low))
        return low;
    if (truncated > high)
        return high;
    return static_cast<int>(truncated);
}

BYTE ColourByte(float component) { return static_cast<BYTE>(Truncate(component, 0, 255)); }

}  // namespace

std::vector<int> Targets(int value) { return {value}; }

std::vector<int> Targets(float value) { return {Truncate(value, INT_MIN, INT_MAX)}; }

std::vector<int> Targets(const Gdiplus::Color& value)
{
    return {value.GetA(), value.GetR(), value.GetG(), value.GetB()};
}

std::vector<float> Initials(int value) { return {static_cast<float>(value)}; }

std::vector<float> Initials(float value) { return {value}; }

std::vector<float> Initials(const Gdiplus::Color& value)
{
    return {static_cast<float>(value.GetA()), static_cast<float>(value.GetR()), static_cast<float>(value.GetG()),
            static_cast<float>(value.GetB())};
}

int ReadInt(const std::vector<float>& components)
{
    if (components.size() != 1)
        throw std::runtime_error("Animated variable int type mismatch");
    return Truncate(components[0], INT_MIN, INT_MAX);
}

float ReadFloat(const std::vector<float>& components)
{
    if (components.size() != 1)
        throw std::runtime_error("Animated variable float type mismatch");
    return components[0];
}

Gdiplus::Color ReadColor(const std::vector<float>& components)
{
    if (components.size() != 4)
        throw std::runtime_error("Animated variable Color type mismatch");
    return Gdiplus::Color(ColourByte(components[0]), ColourByte(components[1]), ColourByte(components[2]),
                          ColourByte(components[3]));
}

}  // namespace F3::AnimatedComponents
