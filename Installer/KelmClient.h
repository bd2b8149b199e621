#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "Installer/IKelmClient.h"
#include "Installer/Stage1Settings.h"
#include "Installer/VeskOptions.h"
#include "Shared/VeskHttpClient/IHttpClient.h"
#include "Shared/VeskUtilities/AsyncMethodCaller.h"

namespace S1 {

// The configuration document, relative to the Kelm host; reports are this path and their query.
extern const wchar_t* const kKelmDocumentPath;
extern const wchar_t* const kKelmUserAgent;

// The Kelm service over one HTTP client. The reports run on threads of their own and share that
// client with the document's fetch; the client carries one request at a time, so every call on
// it is made under one lock.
class KelmClient : public IKelmClient, public Vesk::Utilities::AsyncMethodCaller {
public:
    // The host is the service host of the selected region. The user's proxies and their
    // no-detection flag are honoured when the settings carry either.
    KelmClient(Vesk::Http::IHttpClientFactory& factory, const VeskOptions& options, const Stage1Settings& settings);
    // Waits for every report before the HTTP client goes, so a last report is not cut off.
    ~KelmClient() override;

    std::string GetConfiguration() override;
    // A failure is one INFO line; nothing reaches the caller.
    void QueryAsync(const std::wstring& query) override;

private:
    void SendQuery(const std::wstring& query);

    std::shared_ptr<Vesk::Http::IHttpClient> client;
    std::mutex clientMutex;
};

}  // namespace S1
