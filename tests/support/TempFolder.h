#pragma once

#include <filesystem>
#include <string>

namespace test {

// A fresh folder under the Windows temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path / name; }

private:
    std::filesystem::path path;
};

std::string ReadFile(const std::filesystem::path& file);
// Makes the folders on the way.
void WriteFile(const std::filesystem::path& file, const std::string& text);

}  // namespace test
