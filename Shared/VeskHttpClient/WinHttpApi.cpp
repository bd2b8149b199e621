#include "Shared/VeskHttpClient/WinHttpApi.h"

namespace Vesk::Http::Core {

WinHttpApi& winHttp()
{
    static WinHttpApi api;
    return api;
}

}  // namespace Vesk::Http::Core
