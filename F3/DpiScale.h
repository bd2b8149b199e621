#pragma once

#include <windows.h>

#include <functional>

namespace F3 {

// The display's DPI, read once per process, and the conversions between device-independent
// pixels (96 per inch) and device pixels. Nothing here rounds.
class DpiScale {
public:
    static float DipToPixelsX(float dip);
    static float DipToPixelsY(float dip);
    static float PixelsToDipX(float pixels);
    static float PixelsToDipY(float pixels);
    static int HorizontalDpi();
    static int VerticalDpi();

    // Tests: fixed values, as if read from the display.
    static void SetForTesting(int horizontalDpi, int verticalDpi);
    // Tests: forget the values and read them again through createDisplayDc (null: the display's).
    static void ResetForTesting(std::function<HDC()> createDisplayDc = nullptr);

private:
    static void EnsureInitialised();
};

}  // namespace F3
