#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

namespace F3 {

// A value as the theme document holds it: text, number or flag.
using RawThemeValue = std::variant<std::string, double, bool>;

// One parsed theme document.
class ThemeResource {
public:
    explicit ThemeResource(nlohmann::json document);
    virtual ~ThemeResource() = default;

    // The value at the component path followed by the key path; when it is not there, the same
    // with the component path shortened by its last element, down to the top level.
    virtual std::optional<RawThemeValue> Find(std::vector<std::string> componentPath,
                                              const std::vector<std::string>& keyPath) const;

private:
    nlohmann::json document;
};

}  // namespace F3
