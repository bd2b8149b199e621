#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace F3 {

// An HRESULT as written into the animation log lines: "0x" and eight hexadecimal digits.
inline std::string AnimationHresultText(HRESULT result)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

}  // namespace F3
