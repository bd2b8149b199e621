#include "Shared/VeskUtilities/WebHelper.h"

#include <objbase.h>
#include <shellapi.h>

#include <exception>
#include <utility>

#include "Utilities/Module.h"

namespace Vesk::Utilities::Web {

namespace {

const wchar_t kBrowserEmulationKey[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

}  // namespace

WebHelper::WebHelper(std::shared_ptr<Registry::IRegistryHelper> registry)
    : WebHelper(std::move(registry), &ShellExecuteW)
{
}

WebHelper::WebHelper(std::shared_ptr<Registry::IRegistryHelper> registry, ShellExecuteFunction shellExecute)
    : registry(std::move(registry)), shellExecute(std::move(shellExecute))
{
}

bool WebHelper::OpenUrl(const std::wstring& url)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const HINSTANCE result = shellExecute(nullptr, L"OPEN", url.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
    // S_FALSE (this thread was initialised already) counts too: every success takes one call.
    if (SUCCEEDED(com))
        CoUninitialize();
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool WebHelper::SetBrowserEmulation(bool flag)
{
    std::wstring executable;
    try {
        executable = utilities::Module::ModuleFileName();
    } catch (const std::exception&) {
        return false;
    }
    return registry->WriteDword(kBrowserEmulationKey, executable, flag ? 11001 : 11000, false, HKEY_CURRENT_USER);
}

}  // namespace Vesk::Utilities::Web
