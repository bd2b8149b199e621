#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "Shared/VeskUtilities/IRegistryHelper.h"
#include "Shared/VeskUtilities/IWebHelper.h"

namespace Vesk::Utilities::Web {

class WebHelper : public IWebHelper {
public:
    // ShellExecuteW's shape: a test must never start the browser.
    using ShellExecuteFunction = std::function<HINSTANCE(HWND window, const wchar_t* operation, const wchar_t* file,
                                                         const wchar_t* parameters, const wchar_t* folder, int show)>;

    explicit WebHelper(std::shared_ptr<Registry::IRegistryHelper> registry);
    WebHelper(std::shared_ptr<Registry::IRegistryHelper> registry, ShellExecuteFunction shellExecute);

    // Opens the address with the user's default program.
    bool OpenUrl(const std::wstring& url) override;
    // The Internet Explorer 11 emulation mode of this executable's browser control, for the
    // current user: 11001 (edge mode whatever the page asks) with flag, 11000 without.
    bool SetBrowserEmulation(bool flag) override;

private:
    std::shared_ptr<Registry::IRegistryHelper> registry;
    ShellExecuteFunction shellExecute;
};

}  // namespace Vesk::Utilities::Web
