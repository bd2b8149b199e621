#pragma once

#include <optional>
#include <string>

namespace Vesk::Utilities::Resources {

// The program's embedded resources of type "BINARY"; tests give fakes.
class IResourceHelper {
public:
    // The resource's bytes; nothing when there is no such resource or it cannot be loaded.
    virtual std::optional<std::string> Load(int id) = 0;

protected:
    ~IResourceHelper() = default;
};

}  // namespace Vesk::Utilities::Resources
