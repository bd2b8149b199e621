#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace Setup {

// The failure of an install attempt, with the kind that the error page and the failure report
// tell apart. The codes and report names are a contract with the service: never reuse one.
class FatalError : public std::runtime_error {
public:
    enum Type : std::int32_t {
        Unknown = 0,
        ExtraFileInPackage = 1,
        ManifestError = 2,
        InvalidBlobData = 3,
        InvalidCustomerToken = 4,
        InvalidInstallerServer = 5,
        InvalidQorCustomerId = 6,
        InvalidUserId = 7,
        InvalidProducts = 8,
        DownloadFailure = 9,
        ExpiredFailure = 10,
        ExtractFailure = 11,
        LaunchFailure = 12,
    };

    FatalError(const std::string& message, Type code) : std::runtime_error(message), code(code) {}

    Type Code() const noexcept { return code; }

private:
    Type code;
};

// The failure report's name of a code; "unknown" for any code without one.
const std::wstring& GetReportName(std::int32_t code);

}  // namespace Setup
