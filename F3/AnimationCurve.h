#pragma once

namespace F3 {

// The course of one transition once it knows where it starts: value and velocity against the
// time since its start. Past the duration it holds its final value at rest.
class AnimationCurve {
public:
    enum class Kind { Instantaneous, Linear, LinearFromSpeed, Cubic, Reversal, SmoothStop, AccelerateDecelerate };

    // What the transition library was asked for; the numbers a kind does not use stay 0.
    struct Parameters {
        Kind kind = Kind::Instantaneous;
        double duration = 0;  // the maximum duration for SmoothStop
        double finalValue = 0;
        double speed = 0;
        double finalVelocity = 0;
        double accelerationRatio = 0;
        double decelerationRatio = 0;
    };

    // True when the library may make a transition of these numbers.
    static bool Valid(const Parameters& parameters);

    AnimationCurve(const Parameters& parameters, double initialValue, double initialVelocity);

    double Duration() const { return duration; }
    double ValueAt(double elapsed) const;
    double VelocityAt(double elapsed) const;

private:
    enum class Shape { Hold, Line, Hermite, Parabola, Trapezoid };

    Shape shape = Shape::Hold;
    double duration = 0;
    double start = 0;
    double end = 0;
    double startVelocity = 0;
    double endVelocity = 0;
    double peakVelocity = 0;
    double accelerating = 0;
    double decelerating = 0;
};

}  // namespace F3
