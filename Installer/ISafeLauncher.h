#pragma once

#include <string>

namespace S1 {

// The running stage-1 file as the launcher that started it recorded it.
class ISafeLauncher {
public:
    virtual ~ISafeLauncher() = default;
    virtual std::wstring GetLauncherPath() const = 0;
};

}  // namespace S1
