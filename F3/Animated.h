#pragma once

#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "F3/Gdiplus.h"
#include "F3/IAnimatedVariable.h"

namespace F3 {

// What a storyboard animates: the value split into components, and, once it has been animated,
// the animation variables that carry it from then on.
class AnimatedBase {
public:
    virtual ~AnimatedBase() = default;
    // The components a transition to this value heads for.
    virtual std::vector<int> TargetComponents() const = 0;
    // The components an animation of this value starts from.
    virtual std::vector<float> InitialComponents() const = 0;

    const std::shared_ptr<IAnimatedVariable>& Variable() const { return variable; }
    void SetVariable(std::shared_ptr<IAnimatedVariable> animated) { variable = std::move(animated); }
    // True when the value moved on the last update; never before it is first animated.
    bool HasChanged() const { return variable && variable->HasChanged(); }

protected:
    AnimatedBase() = default;
    AnimatedBase(const AnimatedBase&) = default;
    AnimatedBase(AnimatedBase&&) = default;
    AnimatedBase& operator=(const AnimatedBase&) = default;
    AnimatedBase& operator=(AnimatedBase&&) = default;

private:
    std::shared_ptr<IAnimatedVariable> variable;
};

namespace AnimatedComponents {

// int: the value; float: the value truncated toward zero (targets) or as it is (start values);
// Color: alpha, red, green, blue.
std::vector<int> Targets(int value);
std::vector<int> Targets(float value);
std::vector<int> Targets(const Gdiplus::Color& value);
std::vector<float> Initials(int value);
std::vector<float> Initials(float value);
std::vector<float> Initials(const Gdiplus::Color& value);

// The value read back from its components; a wrong number of components throws
// std::runtime_error "Animated variable <type> type mismatch".
int ReadInt(const std::vector<float>& components);
float ReadFloat(const std::vector<float>& components);
Gdiplus::Color ReadColor(const std::vector<float>& components);

}  // namespace AnimatedComponents

// An int, float or Gdiplus::Color that storyboards can animate. Until it is first animated it is
// a plain value; from then on it reads its animation variables, and assigning a plain value is
// refused. Assigning another Animated replaces both the value and the variables.
template <typename T>
class Animated : public AnimatedBase {
    static_assert(std::is_same_v<T, int> || std::is_same_v<T, float> || std::is_same_v<T, Gdiplus::Color>,
                  "Animated takes int, float or Gdiplus::Color");

public:
    Animated() = default;
    Animated(T value) : value(value) {}
    Animated(const Animated&) = default;
    Animated(Animated&&) = default;
    Animated& operator=(const Animated&) = default;
    Animated& operator=(Animated&&) = default;
    ~Animated() override = default;

    // Throws std::runtime_error "Direct assignment to animating variable" once animated.
    Animated& operator=(T assigned)
    {
        if (Variable())
            throw std::runtime_error("Direct assignment to animating variable");
        value = assigned;
        return *this;
    }

    T Get() const
    {
        if (!Variable())
            return value;
        const std::vector<float> components = Variable()->Read();
        if constexpr (std::is_same_v<T, int>)
            return AnimatedComponents::ReadInt(components);
        else if constexpr (std::is_same_v<T, float>)
            return AnimatedComponents::ReadFloat(components);
        else
            return AnimatedComponents::ReadColor(components);
    }

    operator T() const { return Get(); }

    std::vector<int> TargetComponents() const override { return AnimatedComponents::Targets(value); }
    std::vector<float> InitialComponents() const override { return AnimatedComponents::Initials(value); }

private:
    T value{};
};

}  // namespace F3
