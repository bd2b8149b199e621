#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <boost/signals2/signal.hpp>

#include "F3/Gdiplus.h"

namespace F3 {

// A theme value by kind: text, number, colour, font or flag.
using ThemeValue = std::variant<std::wstring, double, Gdiplus::Color, std::shared_ptr<Gdiplus::Font>, bool>;

// Colours, fonts and numbers by a component's type-name path and a key.
class IThemeManager {
public:
    virtual ~IThemeManager() = default;
    virtual ThemeValue Get(const std::vector<std::string>& path, const std::string& key) = 0;

    // Components apply their theme again when this fires.
    boost::signals2::signal<void()> themeChanged;
};

}  // namespace F3
