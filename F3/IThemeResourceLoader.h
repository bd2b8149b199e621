#pragma once

#include <string>

#include "F3/ThemeResource.h"

namespace F3 {

// Theme documents by name.
class IThemeResourceLoader {
public:
    virtual ~IThemeResourceLoader() = default;
    virtual bool Exists(const std::wstring& name) = 0;
    virtual ThemeResource Load(const std::wstring& name) = 0;
};

}  // namespace F3
