#include "support/TempFolder.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "Utilities/FileSystem.h"

namespace test {

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
    try {
        utilities::RemoveAll(path);
    } catch (const std::exception&) {
        // A test that still holds a file open leaves its folder behind; the test has failed anyway.
    }
}

void WriteFile(const std::filesystem::path& file, const std::string& text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    if (!(out << text))
        throw std::runtime_error("cannot write " + file.string());
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
