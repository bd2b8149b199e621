#include "F3/DpiScale.h"

#include <utility>

namespace F3 {
namespace {

// Written on the window thread before any other thread could read them.
int horizontal = 96;
int vertical = 96;
bool initialised = false;
std::function<HDC()> displayDcFactory;

HDC CreateDisplayDc()
{
    return displayDcFactory ? displayDcFactory() : CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
}

}  // namespace

void DpiScale::EnsureInitialised()
{
    if (initialised)
        return;
    // Tried again on later conversions while it fails; the values stay 96 meanwhile.
    const HDC dc = CreateDisplayDc();
    if (!dc)
        return;
    horizontal = GetDeviceCaps(dc, LOGPIXELSX);
    vertical = GetDeviceCaps(dc, LOGPIXELSY);
    initialised = true;
    DeleteDC(dc);
}

float DpiScale::DipToPixelsX(float dip)
{
    EnsureInitialised();
    return static_cast<float>(horizontal) * dip / 96.0f;
}

float DpiScale::DipToPixelsY(float dip)
{
    EnsureInitialised();
    return static_cast<float>(vertical) * dip / 96.0f;
}

float DpiScale::PixelsToDipX(float pixels)
{
    EnsureInitialised();
    return pixels * 96.0f / static_cast<float>(horizontal);
}

float DpiScale::PixelsToDipY(float pixels)
{
    EnsureInitialised();
    return pixels * 96.0f / static_cast<float>(vertical);
}

int DpiScale::HorizontalDpi()
{
    EnsureInitialised();
    return horizontal;
}

int DpiScale::VerticalDpi()
{
    EnsureInitialised();
    return vertical;
}

void DpiScale::SetForTesting(int horizontalDpi, int verticalDpi)
{
    horizontal = horizontalDpi;
    vertical = verticalDpi;
    initialised = true;
}

void DpiScale::ResetForTesting(std::function<HDC()> createDisplayDc)
{
    displayDcFactory = std::move(createDisplayDc);
    horizontal = 96;
    vertical = 96;
    initialised = false;
}

}  // namespace F3
