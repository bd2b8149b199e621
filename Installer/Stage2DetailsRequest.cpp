#include "Installer/Stage2DetailsRequest.h"

#include <exception>
#include <optional>
#include <sstream>
#include <vector>

#include "halvlib/String.h"
#include "HttpClient/HttpClient.h"
#include "Installer/JsonNode.h"
#include "Installer/SetupController.h"
#include "Installer/Validators.h"
#include "Utilities/FatalError.h"
#include "Utilities/LogStatement.h"

namespace S1 {

const wchar_t* const kStage2DetailsPath = L"api/download/stage2-details/";
const char* const kStage2DetailsStage1Version = "1.20.627.0";

namespace {

std::string RequestBody(ProcessorArchitecture architecture)
{
    JsonNode body(JsonNodeKind::Object);
    body.addMember("stage1_version", JsonNode(kStage2DetailsStage1Version));
    if (architecture == ProcessorArchitecture::ARM64)
        body.addMember("processor_architecture", JsonNode("arm64"));
    std::string text;
    JsonWriter().write(body, text);
    return text;
}

std::string Post(IHttpClient& client, const std::wstring& customerToken, ProcessorArchitecture architecture)
{
    return client.httpPost(kStage2DetailsPath + customerToken,
                           {HttpHeader(L"Content-Type", L"application/json; charset=utf-8")},
                           RequestBody(architecture));
}

// Every failure of the request reaches the attempt as a download failure.
template <class Request>
std::string AsDownloadFailure(Request request)
{
    try {
        return request();
    } catch (const ::HttpClient::Error& e) {
        std::string message = "Failed to get stage-2 info";
        if (e.statusCode)
            message += ". Status code: " + std::to_string(*e.statusCode);
        throw Setup::FatalError(message + ": " + e.what(), Setup::FatalError::DownloadFailure);
    } catch (const std::exception& e) {
        throw Setup::FatalError(std::string("Failed to get stage-2 info: ") + e.what(),
                                Setup::FatalError::DownloadFailure);
    }
}

using Validator = void (*)(const std::string&, Setup::FatalError::Type);

// Absent when the member is missing; anything but a string (null included) is refused.
std::optional<std::wstring> ReadValue(const JsonNode& root, const std::string& name, Validator validate)
{
    const JsonNode value = root.member(name);
    if (!value.isNode())
        return std::nullopt;
    if (value.kind() != JsonNodeKind::String)
        throw Setup::FatalError("Non string value provided for " + name, Setup::FatalError::DownloadFailure);
    const std::string text = value.text();
    validate(text, Setup::FatalError::DownloadFailure);
    return Utf8ToWide(text);
}

std::wstring ReadRequiredValue(const JsonNode& root, const std::string& name, Validator validate)
{
    std::optional<std::wstring> value = ReadValue(root, name, validate);
    if (!value)
        throw Setup::FatalError("Missing mandatory value for " + name, Setup::FatalError::DownloadFailure);
    return *value;
}

}  // namespace

std::string requestStage2Details(const std::wstring& customerToken, const std::wstring& serverHost,
                                 bool noproxydetection, const Stage1Settings& settings,
                                 ProcessorArchitecture architecture)
{
    return AsDownloadFailure([&] {
        ::HttpClient client(serverHost, settings.proxies, noproxydetection ? 1 : 0);
        return Post(client, customerToken, architecture);
    });
}

std::string requestStage2Details(IHttpClient& client, const std::wstring& customerToken,
                                 ProcessorArchitecture architecture)
{
    return AsDownloadFailure([&] { return Post(client, customerToken, architecture); });
}

Stage2Details parseStage2Details(const std::string& reply)
{
    LOG_INFO << "Parsing message received for Stage 2 filename: '" << reply << "'";
    std::istringstream input(reply);
    JsonParser parser;
    const JsonNode root = parser.parse(input);
    if (!root.isNode())
        throw Setup::FatalError("Error parsing json file for Stage 2 filename: " + parser.error() +
                                    "Json content was :" + reply,
                                Setup::FatalError::DownloadFailure);

    if (root.hasMember("stage2_filename") && root.hasMember("qor_server")) {
        Stage2Details details;
        details.stage2Filename = ReadRequiredValue(root, "stage2_filename", ValidateStage2FileName);
        details.qorServer = ReadRequiredValue(root, "qor_server", ValidateServerName);
        details.downloadsServer =
            ReadValue(root, "downloads_server", ValidateServerName).value_or(kDefaultDownloadHost);
        details.telemetryServer = ReadValue(root, "telemetry_server", ValidateOptionalServerName);
        details.diagnosticsServer = ReadValue(root, "diagnostics_server", ValidateOptionalServerName);
        return details;
    }
    if (root.hasMember("error")) {
        const std::string error = root.member("error").text();
        if (error == "deprecated_stage_1")
            throw Setup::FatalError("Stage 2 details suggest an expired Stage was used.",
                                    Setup::FatalError::ExpiredFailure);
        throw Setup::FatalError("Failed to get stage 2 details: " + error, Setup::FatalError::DownloadFailure);
    }
    throw Setup::FatalError("Failed to get stage 2 details: Unrecognised or insufficient content." + reply,
                            Setup::FatalError::DownloadFailure);
}

}  // namespace S1
