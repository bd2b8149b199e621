#pragma once

#include <string>

#include "HttpClient/IHttpClient.h"
#include "Installer/Stage1Settings.h"
#include "Installer/Stage2Details.h"
#include "Utilities/ProcessorArchitecture.h"

namespace S1 {

// The management API's question of a stamped install: which stage-2 archive, which servers.
extern const wchar_t* const kStage2DetailsPath;
// The version this request states; not the version of this stage 1.
extern const char* const kStage2DetailsStage1Version;

// Posts the request for the customer token to the management host through the settings' proxies
// (with no proxy detection when asked) and returns the reply's body. A failed request throws
// Setup::FatalError DownloadFailure.
std::string requestStage2Details(const std::wstring& customerToken, const std::wstring& serverHost,
                                 bool noproxydetection, const Stage1Settings& settings,
                                 ProcessorArchitecture architecture);
// The same over a client of the caller's, already bound to the host.
std::string requestStage2Details(IHttpClient& client, const std::wstring& customerToken,
                                 ProcessorArchitecture architecture);

// The reply, every value validated. Failures are Setup::FatalError: ExpiredFailure when the
// service says this stage 1 is deprecated, DownloadFailure otherwise.
Stage2Details parseStage2Details(const std::string& reply);

}  // namespace S1
