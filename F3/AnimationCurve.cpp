#include "F3/AnimationCurve.h"

#include <cmath>

namespace F3 {

namespace {

bool Finite(double value) { return std::isfinite(value); }

}  // namespace

bool AnimationCurve::Valid(const Parameters& p)
{
    if (!Finite(p.duration) || !Finite(p.finalValue) || !Finite(p.speed) || !Finite(p.finalVelocity) ||
        !Finite(p.accelerationRatio) || !Finite(p.decelerationRatio))
        return false;
    switch (p.kind) {
    case Kind::Instantaneous:
        return true;
    case Kind::Linear:
    case Kind::Cubic:
    case Kind::Reversal:
    case Kind::SmoothStop:
        return p.duration >= 0;
    case Kind::LinearFromSpeed:
        return p.speed > 0;
    case Kind::AccelerateDecelerate:
        return p.duration >= 0 && p.accelerationRatio >= 0 && p.decelerationRatio >= 0 &&
               p.accelerationRatio + p.decelerationRatio <= 1.0;
    }
    return false;
}

AnimationCurve::AnimationCurve(const Parameters& p, double initialValue, double initialVelocity)
    : start(initialValue), end(p.finalValue), startVelocity(initialVelocity)
{
    switch (p.kind) {
    case Kind::Instantaneous:
        break;
    case Kind::Linear:
        shape = Shape::Line;
        duration = p.duration;
        break;
    case Kind::LinearFromSpeed:
        shape = Shape::Line;
        duration = std::fabs(end - start) / p.speed;
        break;
    case Kind::Cubic:
        shape = Shape::Hermite;
        duration = p.duration;
        endVelocity = p.finalVelocity;
        break;
    case Kind::Reversal:
        // Back to where it started, leaving with the opposite of the velocity it came in with.
        shape = Shape::Parabola;
        duration = p.duration;
        end = start;
        endVelocity = -startVelocity;
        break;
    case Kind::SmoothStop: {
        // One parabolic arc that comes to rest on the final value when the initial velocity
        // heads there soon enough; otherwise a cubic over the maximum duration.
        const double distance = end - start;
        if (distance == 0 && startVelocity == 0)
            break;
        if (startVelocity != 0 && (distance > 0) == (startVelocity > 0) && distance != 0) {
            const double arc = 2 * distance / startVelocity;
            if (arc <= p.duration) {
                shape = Shape::Parabola;
                duration = arc;
                break;
            }
        }
        shape = Shape::Hermite;
        duration = p.duration;
        break;
    }
    case Kind::AccelerateDecelerate:
        // From rest: speeds up for the first part, coasts, slows down to rest for the last part.
        shape = Shape::Trapezoid;
        duration = p.duration;
        accelerating = p.accelerationRatio * duration;
        decelerating = p.decelerationRatio * duration;
        startVelocity = 0;
        if (duration > 0)
            peakVelocity = (end - start) / (duration - (accelerating + decelerating) / 2);
        break;
    }
    if (duration <= 0) {
        shape = Shape::Hold;
        duration = 0;
    }
}

double AnimationCurve::ValueAt(double t) const
{
    if (shape == Shape::Hold || t >= duration)
        return end;
    if (t <= 0)
        return start;
    switch (shape) {
    case Shape::Line:
        return start + (end - start) * (t / duration);
    case Shape::Hermite: {
        const double s = t / duration;
        const double s2 = s * s;
        const double s3 = s2 * s;
        return (2 * s3 - 3 * s2 + 1) * start + (s3 - 2 * s2 + s) * duration * startVelocity +
               (3 * s2 - 2 * s3) * end + (s3 - s2) * duration * endVelocity;
    }
    case Shape::Parabola: {
        // Constant acceleration from startVelocity to endVelocity over the duration.
        const double acceleration = (endVelocity - startVelocity) / duration;
        return start + startVelocity * t + acceleration * t * t / 2;
    }
    case Shape::Trapezoid:
        if (t < accelerating)
            return start + peakVelocity * t * t / (2 * accelerating);
        if (t < duration - decelerating)
            return start + peakVelocity * (accelerating / 2 + (t - accelerating));
        return end - peakVelocity * (duration - t) * (duration - t) / (2 * decelerating);
    case Shape::Hold:
        break;
    }
    return end;
}

double AnimationCurve::VelocityAt(double t) const
{
    if (shape == Shape::Hold || t >= duration || t < 0)
        return 0;
    switch (shape) {
    case Shape::Line:
        return (end - start) / duration;
    case Shape::Hermite: {
        const double s = t / duration;
        const double s2 = s * s;
        return ((6 * s2 - 6 * s) * start + (6 * s - 6 * s2) * end) / duration +
               (3 * s2 - 4 * s + 1) * startVelocity + (3 * s2 - 2 * s) * endVelocity;
    }
    case Shape::Parabola:
        return startVelocity + (endVelocity - startVelocity) * t / duration;
    case Shape::Trapezoid:
        if (t < accelerating)
            return peakVelocity * t / accelerating;
        if (t < duration - decelerating)
            return peakVelocity;
        return peakVelocity * (duration - t) / decelerating;
    case Shape::Hold:
        break;
    }
    return 0;
}

}  // namespace F3
