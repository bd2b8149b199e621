#include "Installer/StampedSettings.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "halvlib/ErrorCategory.h"
#include "halvlib/String.h"
#include "Installer/Validators.h"
#include "Utilities/FatalError.h"
#include "Utilities/FileHandleToStdStreamConverter.h"
#include "Utilities/Raii.h"
#include "Utilities/Stream.h"

namespace S1 {

namespace {

constexpr std::string_view kMarker = "---BEGIN_BLOB---";

static_assert(sizeof(IMAGE_DOS_HEADER) == 64);
static_assert(sizeof(IMAGE_NT_HEADERS32) == 248);

// Up to size bytes at offset, fewer where the file ends first and none for an offset outside it:
// the offsets come from the file itself and are checked before the stream is moved.
std::vector<char> ReadAt(std::istream& stream, std::int64_t offset, std::size_t size)
{
    stream.seekg(0, std::ios::end);
    const std::int64_t fileSize = stream.tellg();
    if (offset < 0 || offset >= fileSize)
        return {};
    stream.seekg(offset);
    return utilities::Read(stream, size);
}

template <typename Header>
Header ToHeader(const std::vector<char>& data)
{
    Header header{};
    std::memcpy(&header, data.data(), sizeof(header));
    return header;
}

std::string FindStamp(const std::vector<char>& security)
{
    const auto marker = std::search(security.begin(), security.end(), kMarker.begin(), kMarker.end());
    if (marker == security.end())
        throw std::runtime_error("Blob not embedded in file");
    const auto begin = marker + kMarker.size();
    return std::string(begin, std::find(begin, security.end(), '\0'));
}

// A missing key reads as empty; only a value that is there is checked.
std::wstring ReadKey(const StampMap& stamp, const std::string& key,
                     void (*validate)(const std::string&, Setup::FatalError::Type))
{
    // lower_bound, not find: of equal keys a multimap keeps the first line first.
    const auto found = stamp.lower_bound(key);
    if (found == stamp.end() || found->first != key)
        return {};
    if (!found->second.empty())
        validate(found->second, Setup::FatalError::InvalidBlobData);
    return Utf8ToWide(found->second);
}

std::optional<std::wstring> ReadOptionalKey(const StampMap& stamp, const std::string& key,
                                            void (*validate)(const std::string&, Setup::FatalError::Type))
{
    if (stamp.find(key) == stamp.end())
        return std::nullopt;
    return ReadKey(stamp, key, validate);
}

}  // namespace

std::string readStampBlob(const std::wstring& path)
{
    FileHandleGuard handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) {
        // Taken before the conversion, which may overwrite it.
        const DWORD error = GetLastError();
        ThrowSystemError(static_cast<int>(error), "Failed to open file '" + WideToUtf8(path));
    }
    utilities::FileHandleToStdStreamConverter converter(handle, "rb");
    std::istream& stream = converter.Stream();

    const std::vector<char> dosData = utilities::ReadFromStart(stream);
    if (dosData.size() < sizeof(IMAGE_DOS_HEADER))
        throw std::runtime_error("Failed to read full IMAGE_DOS_HEADER from file");
    const auto dos = ToHeader<IMAGE_DOS_HEADER>(dosData);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE)
        throw std::runtime_error("Invalid IMAGE_DOS_SIGNATURE");

    const std::vector<char> ntData = ReadAt(stream, dos.e_lfanew, sizeof(IMAGE_NT_HEADERS32));
    if (ntData.size() < sizeof(IMAGE_NT_HEADERS32))
        throw std::runtime_error("Failed to read full IMAGE_NT_HEADERS32 from file");
    const auto nt = ToHeader<IMAGE_NT_HEADERS32>(ntData);
    if (nt.Signature != IMAGE_NT_SIGNATURE)
        throw std::runtime_error("Invalid IMAGE_NT_SIGNATURE");

    IMAGE_DATA_DIRECTORY directory = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    if (nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        // A 64-bit build (the tests' on hosts that run no 32-bit programs) has the wider headers.
        const std::vector<char> ntData64 = ReadAt(stream, dos.e_lfanew, sizeof(IMAGE_NT_HEADERS64));
        if (ntData64.size() < sizeof(IMAGE_NT_HEADERS64))
            throw std::runtime_error("Failed to read full IMAGE_NT_HEADERS64 from file");
        directory = ToHeader<IMAGE_NT_HEADERS64>(ntData64).OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    }

    // Read never holds more than the file has, so a forged size cannot make a large buffer.
    const std::vector<char> security = ReadAt(stream, directory.VirtualAddress, directory.Size);
    if (security.size() < directory.Size)
        throw std::runtime_error("Failed to read full IMAGE_DIRECTORY_ENTRY_SECURITY from file");
    if (security.size() < kMarker.size())
        throw std::runtime_error("Blob not embedded in file");
    return FindStamp(security);
}

StampMap parseStampBlob(const std::string& text)
{
    StampMap stamp;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = std::string_view(text).substr(start, end - start);
        const std::size_t equals = line.find('=');
        // emplace puts an equal key after those already there, which keeps the line order.
        if (equals != std::string_view::npos)
            stamp.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
        start = end + 1;
    }
    return stamp;
}

StampedSettings makeStampedSettings(const StampMap& stamp)
{
    StampedSettings settings;
    if (stamp.empty())
        return settings;
    settings.customerToken = ReadKey(stamp, "CUSTOMER_TOKEN", &ValidateCustomerToken);
    settings.products = ReadKey(stamp, "PRODUCTS", &ValidateProducts);
    settings.installerServer = ReadKey(stamp, "EP_INSTALLER_SERVER", &ValidateServerName);
    settings.customerId = ReadOptionalKey(stamp, "CUSTOMER_ID", &ValidateGuid);
    settings.partnerId = ReadOptionalKey(stamp, "PARTNER_ID", &ValidateGuid);
    settings.customerEstateId = ReadOptionalKey(stamp, "CUSTOMER_ESTATE_ID", &ValidateGuid);
    settings.userId = ReadOptionalKey(stamp, "USER_ID", &ValidateUserId);
    return settings;
}

}  // namespace S1
