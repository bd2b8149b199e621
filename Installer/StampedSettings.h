#pragma once

#include <map>
#include <optional>
#include <string>

namespace S1 {

// The settings a maker stamps into a copy of the installer, after a marker in its signature area.
struct StampedSettings {
    std::wstring installerServer;
    std::wstring customerToken;
    std::wstring products;
    // Engaged whenever the stamp names the key, also with an empty value.
    std::optional<std::wstring> customerId;
    std::optional<std::wstring> partnerId;
    std::optional<std::wstring> customerEstateId;
    std::optional<std::wstring> userId;
};

// Every KEY=VALUE line of a stamp, duplicates included, in line order.
using StampMap = std::multimap<std::string, std::string>;

// The text after the first marker in the file's security directory, up to a zero byte or the
// directory's end. Throws std::system_error when the file cannot be opened and
// std::runtime_error when it is no PE file or carries no stamp.
std::string readStampBlob(const std::wstring& path);

// Lines end at a line feed; a line without "=" is skipped, and nothing is trimmed.
StampMap parseStampBlob(const std::string& text);

// The first value of each key counts; a non-empty one that fails its check throws
// Setup::FatalError InvalidBlobData.
StampedSettings makeStampedSettings(const StampMap& stamp);

}  // namespace S1
