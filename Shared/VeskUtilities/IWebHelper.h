#pragma once

#include <string>

namespace Vesk::Utilities::Web {

// Opening a web address starts the user's browser: tests give a fake.
class IWebHelper {
public:
    virtual ~IWebHelper() = default;
    virtual bool OpenUrl(const std::wstring& url) = 0;
    virtual bool SetBrowserEmulation(bool flag) = 0;
};

}  // namespace Vesk::Utilities::Web
