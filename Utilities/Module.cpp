#include "Utilities/Module.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "Utilities/Throw.h"

namespace utilities::Module {

namespace {
constexpr std::size_t kInitialSize = MAX_PATH;
constexpr std::size_t kMaximumSize = 32'788;
}  // namespace

std::wstring Path(ModuleFileNameFunction getModuleFileName)
{
    std::vector<wchar_t> buffer(kInitialSize);
    for (;;) {
        const DWORD length = getModuleFileName(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            UTILITIES_THROW(std::runtime_error("GetModuleFileNameW failed: " + std::to_string(GetLastError())));
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        // The path was cut.
        if (buffer.size() >= kMaximumSize)
            UTILITIES_THROW(std::runtime_error("Path too long"));
        buffer.resize(std::min(buffer.size() * 2, kMaximumSize));
    }
}

std::wstring Path()
{
    return Path(&GetModuleFileNameW);
}

std::wstring ModuleFileName()
{
    return std::filesystem::path(Path()).filename().wstring();
}

}  // namespace utilities::Module
