#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "Shared/VeskUtilities/IResourceHelper.h"

namespace Vesk::Utilities::Resources {

// Reads the resources of one module.
class ResourceHelper : public IResourceHelper {
public:
    explicit ResourceHelper(HINSTANCE module);

    std::optional<std::string> Load(int id) override;

private:
    HINSTANCE module;
};

}  // namespace Vesk::Utilities::Resources
