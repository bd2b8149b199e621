#pragma once

#include <optional>
#include <string>

namespace S1 {

// The management API's answer for a stamped install.
struct Stage2Details {
    std::wstring stage2Filename;
    std::wstring qorServer;
    std::wstring downloadsServer;
    std::optional<std::wstring> telemetryServer;
    std::optional<std::wstring> diagnosticsServer;
};

}  // namespace S1
