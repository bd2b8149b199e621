#pragma once

#include <map>
#include <optional>
#include <string>

#include "Shared/VeskUtilities/IResourceHelper.h"

namespace test {

// Resources by id, as the tests set them; an id without bytes is a missing resource.
class FakeResources : public Vesk::Utilities::Resources::IResourceHelper {
public:
    std::optional<std::string> Load(int id) override
    {
        const auto found = bytes.find(id);
        return found == bytes.end() ? std::nullopt : std::optional<std::string>(found->second);
    }
    std::map<int, std::string> bytes;
};

}  // namespace test
