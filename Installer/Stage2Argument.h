#pragma once

#include <string>
#include <utility>

namespace S1 {

// One item appended after the settings' items on the stage-2 command line: a fixed name and a
// value that the launch quotes and escapes like every other value, so that a product option
// cannot add arguments of its own.
using Stage2Argument = std::pair<std::wstring, std::wstring>;

}  // namespace S1
