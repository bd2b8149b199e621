#pragma once

#include <optional>
#include <string>

#include "Installer/IKelmClient.h"
#include "Installer/IKelmController.h"

namespace S1 {

// The members of the configuration document that the installer reads; each holds a string.
extern const wchar_t* const kKelmMinimumVersionKey;
extern const wchar_t* const kKelmStage2FileNameKey;
extern const wchar_t* const kKelmStage2FileNameArm64Key;

// Fetches the configuration document through the client and answers from what it said.
class KelmController : public IKelmController {
public:
    explicit KelmController(IKelmClient& client);

    // Fetches and parses the document. A member it does not name keeps what an earlier document
    // gave; a document that is not a JSON object changes nothing and throws Setup::FatalError
    // DownloadFailure.
    void Refresh() override;
    // The minimum version as received.
    std::optional<std::string> GetMinimumVersion() const override;
    // True when the minimum version ("0.0.0" when none came) is above the given one. A malformed
    // version throws the version comparison's error.
    bool IsStage1Retired(const std::string& version) const override;
    std::optional<std::wstring> GetStage2FileName() const override;
    std::optional<std::wstring> GetStage2FileNameArm64() const override;

private:
    void Parse(const std::string& body);

    std::optional<std::string> minimumVersion;
    std::optional<std::wstring> stage2FileName;
    std::optional<std::wstring> stage2FileNameArm64;
    IKelmClient& client;
};

}  // namespace S1
