#pragma once

#include <optional>
#include <string>

namespace S1 {

// What the Kelm configuration document says.
class IKelmController {
public:
    virtual ~IKelmController() = default;
    virtual void Refresh() = 0;
    virtual std::optional<std::string> GetMinimumVersion() const = 0;
    virtual bool IsStage1Retired(const std::string& version) const = 0;
    virtual std::optional<std::wstring> GetStage2FileName() const = 0;
    virtual std::optional<std::wstring> GetStage2FileNameArm64() const = 0;
};

}  // namespace S1
