#pragma once

#include <memory>
#include <vector>

#include "F3/Gdiplus.h"

namespace F3 {

class Component;

// Paints component and its subtree into its back buffers and composites the result onto target
// (translated to the component's origin by its parent), limited to clip in the parent's DIP
// coordinates. Returns the regions the screen blit must leave alone.
std::vector<std::shared_ptr<Gdiplus::Region>> PaintTree(Component& component, Gdiplus::Graphics& target,
                                                        const Gdiplus::RectF& clip);

// Empties the thread's message queue; when any window asked to be painted, repaints the form's
// whole tree and copies it to the screen in one blit. False when WM_QUIT was met.
bool PumpAndPaint(Component& form);

}  // namespace F3
