#include "support/GdiplusSession.h"

#include <stdexcept>

#include "F3/Gdiplus.h"

namespace test {

void EnsureGdiplus()
{
    static const ULONG_PTR token = [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR started = 0;
        if (Gdiplus::GdiplusStartup(&started, &input, nullptr) != Gdiplus::Ok)
            throw std::runtime_error("GdiplusStartup failed");
        return started;
    }();
    (void)token;
}

}  // namespace test
