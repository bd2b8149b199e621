#include "F3/ThemeResource.h"

#include <utility>

namespace F3 {
namespace {

std::optional<RawThemeValue> Walk(const nlohmann::json& root, const std::vector<std::string>& names)
{
    const nlohmann::json* node = &root;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!node->is_object())
            return std::nullopt;
        const auto member = node->find(names[i]);
        if (member == node->end())
            return std::nullopt;
        // A plain value ends the walk, even with names left.
        if (member->is_boolean())
            return RawThemeValue(member->get<bool>());
        if (member->is_number())
            return RawThemeValue(member->get<double>());
        if (member->is_string())
            return RawThemeValue(member->get<std::string>());
        if (i + 1 == names.size() || !member->is_object())
            return std::nullopt;
        node = &*member;
    }
    return std::nullopt;
}

}  // namespace

ThemeResource::ThemeResource(nlohmann::json document) : document(std::move(document)) {}

std::optional<RawThemeValue> ThemeResource::Find(std::vector<std::string> componentPath,
                                                 const std::vector<std::string>& keyPath) const
{
    for (;;) {
        std::vector<std::string> names = componentPath;
        names.insert(names.end(), keyPath.begin(), keyPath.end());
        if (auto found = Walk(document, names))
            return found;
        if (componentPath.empty())
            return std::nullopt;
        componentPath.pop_back();
    }
}

}  // namespace F3
