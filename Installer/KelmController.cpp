#include "Installer/KelmController.h"

#include <windows.h>

#include <limits>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "Utilities/FatalError.h"
#include "Utilities/LogStatement.h"
#include "Utilities/Version.h"

namespace S1 {

const wchar_t* const kKelmMinimumVersionKey = L"stage1-minimum-supported-version";
const wchar_t* const kKelmStage2FileNameKey = L"stage2-filename";
const wchar_t* const kKelmStage2FileNameArm64Key = L"stage2-filename-arm64";

namespace {

// The document's keys and texts are read in the thread's ANSI code page.
std::wstring ThreadAnsiToWide(const std::string& text)
{
    if (text.empty())
        return {};
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw std::runtime_error("MultiByteToWideChar failed: " + std::to_string(ERROR_ARITHMETIC_OVERFLOW));
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), size, nullptr, 0);
    if (length <= 0)
        throw std::runtime_error("MultiByteToWideChar failed: " + std::to_string(GetLastError()));
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), size, wide.data(), length) != length)
        throw std::runtime_error("MultiByteToWideChar failed: " + std::to_string(GetLastError()));
    return wide;
}

[[noreturn]] void ThrowInvalidDocument(const std::string& detail)
{
    throw Setup::FatalError("Invalid JSON received for Global Settings: " + detail,
                            Setup::FatalError::DownloadFailure);
}

}  // namespace

KelmController::KelmController(IKelmClient& client) : client(client)
{
}

void KelmController::Refresh()
{
    Parse(client.GetConfiguration());
}

void KelmController::Parse(const std::string& body)
{
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(body);
    } catch (const nlohmann::json::exception& e) {
        ThrowInvalidDocument(e.what());
    }
    if (!document.is_object())
        ThrowInvalidDocument("");

    // Read into copies first: a conversion that fails half-way leaves the earlier values whole.
    std::optional<std::string> minimum = minimumVersion;
    std::optional<std::wstring> fileName = stage2FileName;
    std::optional<std::wstring> fileNameArm64 = stage2FileNameArm64;
    for (const auto& [key, value] : document.items()) {
        const std::wstring wideKey = ThreadAnsiToWide(key);
        const bool isMinimum = wideKey == kKelmMinimumVersionKey;
        const bool isFileName = wideKey == kKelmStage2FileNameKey;
        const bool isFileNameArm64 = wideKey == kKelmStage2FileNameArm64Key;
        if (!isMinimum && !isFileName && !isFileNameArm64)
            continue;
        if (!value.is_string()) {
            LOG_ERROR << "Unknown data type expected string for: " << wideKey;
            continue;
        }
        const std::string& text = value.get_ref<const std::string&>();
        if (isMinimum)
            minimum = text;
        else if (isFileName)
            fileName = ThreadAnsiToWide(text);
        else
            fileNameArm64 = ThreadAnsiToWide(text);
    }
    minimumVersion = std::move(minimum);
    stage2FileName = std::move(fileName);
    stage2FileNameArm64 = std::move(fileNameArm64);
}

std::optional<std::string> KelmController::GetMinimumVersion() const
{
    return minimumVersion;
}

bool KelmController::IsStage1Retired(const std::string& version) const
{
    return utilities::CompareVersions(minimumVersion.value_or("0.0.0"), version) > 0;
}

std::optional<std::wstring> KelmController::GetStage2FileName() const
{
    return stage2FileName;
}

std::optional<std::wstring> KelmController::GetStage2FileNameArm64() const
{
    return stage2FileNameArm64;
}

}  // namespace S1
