#include "Installer/KelmClient.h"

#include <exception>
#include <vector>

#include "Shared/VeskHttpClient/HttpClient.h"
#include "Shared/VeskUtilities/WebHosts.h"
#include "Utilities/FatalError.h"
#include "Utilities/LogStatement.h"

namespace S1 {

const wchar_t* const kKelmDocumentPath = L"config/windows-installer.json";
const wchar_t* const kKelmUserAgent = L"Halvex Vesk Installer/Win";

namespace {

std::shared_ptr<Vesk::Http::IHttpClient> MakeClient(Vesk::Http::IHttpClientFactory& factory,
                                                    const VeskOptions& options, const Stage1Settings& settings)
{
    const std::wstring host = Vesk::Utilities::GetServiceHost(options.region);
    if (settings.proxies.empty() && !settings.noproxydetection)
        return factory.createClient(host, kKelmUserAgent);
    return factory.createClient(host, kKelmUserAgent, settings.proxies, settings.noproxydetection ? 1 : 0);
}

}  // namespace

KelmClient::KelmClient(Vesk::Http::IHttpClientFactory& factory, const VeskOptions& options,
                       const Stage1Settings& settings)
    : client(MakeClient(factory, options, settings))
{
}

KelmClient::~KelmClient()
{
    // The base waits too, but only after the client and its lock are gone.
    WaitAll();
}

std::string KelmClient::GetConfiguration()
{
    try {
        const std::lock_guard lock(clientMutex);
        return client->httpGet(kKelmDocumentPath, {});
    } catch (const Vesk::Http::HttpClient::Error& e) {
        std::string message = "Failed to retrieve kelm";
        if (e.statusCode)
            message += ". Status code: " + std::to_string(*e.statusCode);
        throw Setup::FatalError(message + ": " + e.what(), Setup::FatalError::DownloadFailure);
    } catch (const std::exception& e) {
        throw Setup::FatalError(std::string("Failed to retrieve kelm: ") + e.what(),
                                Setup::FatalError::DownloadFailure);
    }
}

void KelmClient::QueryAsync(const std::wstring& query)
{
    try {
        Run(&KelmClient::SendQuery, this, query);
    } catch (const std::exception& e) {
        LOG_INFO << "Failed to query kelm: " << e.what();
    }
}

void KelmClient::SendQuery(const std::wstring& query)
{
    // A report's thread has no caller to tell: whatever it throws ends here.
    try {
        const std::wstring path = kKelmDocumentPath + query;
        const std::lock_guard lock(clientMutex);
        client->httpGet(path, {});
    } catch (const std::exception& e) {
        LOG_INFO << "Failed to query kelm: " << e.what();
    } catch (...) {
        LOG_INFO << "Failed to query kelm: unknown exception";
    }
}

}  // namespace S1
