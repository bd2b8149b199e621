#pragma once

#include <string>

#include "Installer/ISafeLauncher.h"

namespace S1 {

class SafeLauncherHelper : public ISafeLauncher {
public:
    static constexpr const wchar_t* kVariable = L"HALVEX_SFL_PATH_DE4325B8_1378_47a6_AEC1_EF723BCE8EC4";

    // Throws std::runtime_error when the variable is unset, empty or longer than MAX_PATH - 1.
    std::wstring GetLauncherPath() const override;
};

}  // namespace S1
