#include "Shared/VeskUtilities/ResourceHelper.h"

namespace Vesk::Utilities::Resources {

ResourceHelper::ResourceHelper(HINSTANCE module) : module(module) {}

std::optional<std::string> ResourceHelper::Load(int id)
{
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"BINARY");
    if (!found)
        return std::nullopt;
    const DWORD size = SizeofResource(module, found);
    const HGLOBAL loaded = LoadResource(module, found);
    if (!loaded)
        return std::nullopt;
    std::optional<std::string> bytes;
    if (size == 0)
        bytes.emplace();
    else if (const void* data = LockResource(loaded))
        bytes.emplace(static_cast<const char*>(data), size);
    FreeResource(loaded);
    return bytes;
}

}  // namespace Vesk::Utilities::Resources
