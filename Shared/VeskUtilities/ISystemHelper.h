#pragma once

namespace Vesk::Utilities::System {

// Restarting the machine ends every process: tests give a fake.
class ISystemHelper {
public:
    virtual bool Restart() = 0;

protected:
    ~ISystemHelper() = default;
};

}  // namespace Vesk::Utilities::System
