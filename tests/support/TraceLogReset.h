#pragma once

#include "Utilities/TraceLog.h"

namespace test {

// Back to "no trace log": an empty path is kept although it cannot be made absolute.
inline void ClearTraceLogFile()
{
    try {
        SetTraceLogFile(L"");
    } catch (...) {
    }
}

}  // namespace test
