#include "support/TempFolder.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace test {

namespace {

void MakeWritable(const std::filesystem::path& root)
{
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

TempFolder::TempFolder()
{
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, temp) == 0)
        throw std::runtime_error("GetTempPathW failed");
    path = std::filesystem::path(temp) /
           (L"halvex-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
}

TempFolder::~TempFolder()
{
    // remove_all of libstdc++ does not delete read-only files.
    MakeWritable(path);
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace test
