#pragma once

#include <string>

namespace S1 {

// The Kelm configuration service.
class IKelmClient {
public:
    virtual ~IKelmClient() = default;
    // The configuration document's body; failures are Setup::FatalError DownloadFailure.
    virtual std::string GetConfiguration() = 0;
    // Sends a report query on a thread of its own and returns at once.
    virtual void QueryAsync(const std::wstring& query) = 0;
};

}  // namespace S1
