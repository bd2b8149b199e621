#pragma once

#include <memory>

#include "F3/Gdiplus.h"

namespace F3 {

// The shapes the buttons and the progress bar draw. Areas are given by their edges in DIP and
// drawn in device pixels.

// The area as a rounded rectangle whose corners are arcs in a square of the diameter; a plain
// rectangle for a diameter of 0. Both one pixel short on the right and bottom, so the outline
// stays inside the area.
std::unique_ptr<Gdiplus::GraphicsPath> RoundedRectanglePath(float left, float top, float right, float bottom,
                                                            float cornerDiameter);

void FillRoundedRectangle(Gdiplus::Graphics& graphics, float left, float top, float right, float bottom,
                          float cornerDiameter, const Gdiplus::Color& colour);

// A tiled linear gradient from `from` at start to `to` at end (points in DIP).
void FillRoundedRectangleGradient(Gdiplus::Graphics& graphics, float left, float top, float right, float bottom,
                                  float cornerDiameter, const Gdiplus::PointF& start, const Gdiplus::PointF& end,
                                  const Gdiplus::Color& from, const Gdiplus::Color& to);

// A soft shadow: the colour at the area's centre fading to transparent at its edge.
void FillShadow(Gdiplus::Graphics& graphics, float left, float top, float right, float bottom, float cornerDiameter,
                const Gdiplus::Color& colour);

}  // namespace F3
