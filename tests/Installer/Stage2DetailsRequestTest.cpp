#include <gtest/gtest.h>

#include <boost/throw_exception.hpp>

#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "HttpClient/HttpClient.h"
#include "Installer/SetupController.h"
#include "Installer/Stage2DetailsRequest.h"
#include "support/TempFolder.h"
#include "support/TraceLogReset.h"
#include "Utilities/FatalError.h"

using Setup::FatalError;

namespace {

const std::wstring kToken = L"0123456789abcdefghij-KLMNOPQRST.uv_w";

// Takes the one POST it expects and answers as told.
class FakeHttpClient : public IHttpClient {
public:
    std::function<std::string()> answer = [] { return std::string("reply"); };
    int posts = 0;
    std::wstring path;
    std::vector<HttpHeader> headers;
    std::string body;

    std::string httpPost(const std::wstring& p, const std::vector<HttpHeader>& h, const std::string& b) override
    {
        ++posts;
        path = p;
        headers = h;
        body = b;
        return answer();
    }
    std::string httpGet(const std::wstring&, const std::vector<HttpHeader>&) override { return Unexpected(); }
    std::string httpDelete(const std::wstring&, const std::vector<HttpHeader>&) override { return Unexpected(); }
    std::string httpPut(const std::wstring&, const std::vector<HttpHeader>&, const std::string&) override
    {
        return Unexpected();
    }

private:
    static std::string Unexpected()
    {
        ADD_FAILURE() << "only a POST is expected";
        return {};
    }
};

struct BodyCase {
    const char* name;
    ProcessorArchitecture architecture;
    const char* body;
};

std::ostream& operator<<(std::ostream& out, const BodyCase& c)
{
    return out << c.name;
}

class Stage2DetailsRequestBody : public testing::TestWithParam<BodyCase> {};

TEST_P(Stage2DetailsRequestBody, OnePostWithTheTokenAndTheCompactBody)
{
    FakeHttpClient client;
    client.answer = [] { return std::string("{\"any\":\"reply\"}\n"); };
    EXPECT_EQ(S1::requestStage2Details(client, kToken, GetParam().architecture), "{\"any\":\"reply\"}\n");
    EXPECT_EQ(client.posts, 1);
    EXPECT_EQ(client.path, L"api/download/stage2-details/" + kToken);
    ASSERT_EQ(client.headers.size(), 1u);
    EXPECT_EQ(client.headers[0].name, L"Content-Type");
    EXPECT_EQ(client.headers[0].value, L"application/json; charset=utf-8");
    EXPECT_EQ(client.body, GetParam().body);
}

// Only ARM64 names its architecture; the version is the request's own, not this program's.
INSTANTIATE_TEST_SUITE_P(Architectures, Stage2DetailsRequestBody, testing::Values(
    BodyCase{"Other", ProcessorArchitecture::Other, "{\"stage1_version\":\"1.20.627.0\"}"},
    BodyCase{"X86", ProcessorArchitecture::X86, "{\"stage1_version\":\"1.20.627.0\"}"},
    BodyCase{"X64", ProcessorArchitecture::X64, "{\"stage1_version\":\"1.20.627.0\"}"},
    BodyCase{"Arm64", ProcessorArchitecture::ARM64,
             "{\"stage1_version\":\"1.20.627.0\",\"processor_architecture\":\"arm64\"}"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RequestFailureCase {
    const char* what;
    std::function<void()> fail;
    const char* message;
};

std::ostream& operator<<(std::ostream& out, const RequestFailureCase& c)
{
    return out << c.what;
}

class Stage2DetailsRequestFailure : public testing::TestWithParam<RequestFailureCase> {};

TEST_P(Stage2DetailsRequestFailure, BecomesADownloadFailure)
{
    FakeHttpClient client;
    client.answer = [this] {
        GetParam().fail();
        return std::string();
    };
    try {
        S1::requestStage2Details(client, kToken, ProcessorArchitecture::X64);
        FAIL() << "no exception";
    } catch (const FatalError& e) {
        EXPECT_EQ(e.Code(), FatalError::DownloadFailure);
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

// The client throws its errors through boost, as the real one does.
INSTANTIATE_TEST_SUITE_P(Errors, Stage2DetailsRequestFailure, testing::Values(
    RequestFailureCase{"Status", [] { boost::throw_exception(HttpClient::Error("Bad response from new connection", 404, true)); },
                       "Failed to get stage-2 info. Status code: 404: Bad response from new connection: status code=404"},
    RequestFailureCase{"NoStatus", [] { boost::throw_exception(HttpClient::Error("Failed to connect with any proxy", false)); },
                       "Failed to get stage-2 info: Failed to connect with any proxy"},
    RequestFailureCase{"Certificate", [] { boost::throw_exception(HttpClient::Error("Failed to connect with any proxy")); },
                       "Failed to get stage-2 info: Failed to connect with any proxy: certificate check failure"},
    RequestFailureCase{"Other", [] { throw std::logic_error("Error getting Proxy Type"); },
                       "Failed to get stage-2 info: Error getting Proxy Type"}),
    [](const auto& info) { return std::string(info.param.what); });

struct ParseCase {
    const char* name;
    const char* reply;
    // Either the record...
    std::optional<S1::Stage2Details> details;
    // ...or the failure.
    FatalError::Type code;
    std::string message;
};

std::ostream& operator<<(std::ostream& out, const ParseCase& c)
{
    return out << c.name;
}

ParseCase Accepted(const char* name, const char* reply, S1::Stage2Details details)
{
    return {name, reply, std::move(details), FatalError::Unknown, ""};
}

ParseCase Refused(const char* name, const char* reply, FatalError::Type code, const std::string& message)
{
    return {name, reply, std::nullopt, code, message};
}

ParseCase Download(const char* name, const char* reply, const std::string& message)
{
    return Refused(name, reply, FatalError::DownloadFailure, message);
}

ParseCase Unrecognised(const char* name, const char* reply)
{
    return Download(name, reply, std::string("Failed to get stage 2 details: Unrecognised or insufficient content.") + reply);
}

class Stage2DetailsReply : public testing::TestWithParam<ParseCase> {};

TEST_P(Stage2DetailsReply, ParsesAsExpected)
{
    const ParseCase& c = GetParam();
    try {
        const S1::Stage2Details details = S1::parseStage2Details(c.reply);
        ASSERT_TRUE(c.details) << "accepted";
        EXPECT_EQ(details.stage2Filename, c.details->stage2Filename);
        EXPECT_EQ(details.qorServer, c.details->qorServer);
        EXPECT_EQ(details.downloadsServer, c.details->downloadsServer);
        EXPECT_EQ(details.telemetryServer, c.details->telemetryServer);
        EXPECT_EQ(details.diagnosticsServer, c.details->diagnosticsServer);
    } catch (const FatalError& e) {
        ASSERT_FALSE(c.details) << e.what();
        EXPECT_EQ(e.Code(), c.code) << e.what();
        EXPECT_EQ(e.what(), c.message);
    }
}

constexpr const char* kNotAString[] = {"5", "null", "true", "{}", "[]"};

INSTANTIATE_TEST_SUITE_P(Replies, Stage2DetailsReply, testing::Values(
    Accepted("AllValues", "{\"stage2_filename\":\"win/stage2-1.2_3.tar.gz\",\"qor_server\":\"qor.halvex.com\","
             "\"downloads_server\":\"dl.halvex.net\",\"telemetry_server\":\"t.halvexcloud.com\","
             "\"diagnostics_server\":\"sandbox1.halvex-test.com\"}",
             {L"win/stage2-1.2_3.tar.gz", L"qor.halvex.com", L"dl.halvex.net", L"t.halvexcloud.com",
              L"sandbox1.halvex-test.com"}),
    // Without a downloads server the default host; the optional servers stay not engaged.
    Accepted("DefaultDownloadHost", "{\"qor_server\":\"qor.halvex.com\",\"stage2_filename\":\"s.tar.gz\"}",
             {L"s.tar.gz", L"qor.halvex.com", S1::kDefaultDownloadHost, std::nullopt, std::nullopt}),
    // Empty optional servers are engaged.
    Accepted("EmptyOptionalServers", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"qor.halvex.com\",\"telemetry_server\":\"\","
             "\"diagnostics_server\":\"\"}",
             {L"s.tar.gz", L"qor.halvex.com", S1::kDefaultDownloadHost, L"", L""}),
    // Escapes are undone before the check; the first of two members counts; an error beside
    // the two required values is not read.
    Accepted("EscapesDuplicatesAndError", "{\"stage2_filename\":\"a\\/b.tar.gz\",\"qor_server\":\"one.halvex.com\","
             "\"qor_server\":\"two.halvex.com\",\"error\":\"deprecated_stage_1\"}",
             {L"a/b.tar.gz", L"one.halvex.com", S1::kDefaultDownloadHost, std::nullopt, std::nullopt}),

    // Values that are not strings.
    Download("QorServerNumber", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":5}", "Non string value provided for qor_server"),
    Download("QorServerNull", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":null}", "Non string value provided for qor_server"),
    Download("FileNameObject", "{\"stage2_filename\":{},\"qor_server\":\"qor.halvex.com\"}",
             "Non string value provided for stage2_filename"),
    Download("DownloadsServerNull", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"qor.halvex.com\",\"downloads_server\":null}",
             "Non string value provided for downloads_server"),
    Download("TelemetryServerBool", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"qor.halvex.com\",\"telemetry_server\":true}",
             "Non string value provided for telemetry_server"),
    Download("DiagnosticsServerArray", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"qor.halvex.com\",\"diagnostics_server\":[]}",
             "Non string value provided for diagnostics_server"),

    // Each value is validated, also when empty, and reported as a download failure.
    Download("FileNameNotAnArchive", "{\"stage2_filename\":\"stage2.zip\",\"qor_server\":\"qor.halvex.com\"}",
             "Filename does not have the expected extension, but :'.tar.gz'"),
    Download("FileNameEmpty", "{\"stage2_filename\":\"\",\"qor_server\":\"qor.halvex.com\"}",
             "Filename does not have the expected extension, but :'.tar.gz'"),
    Download("FileNameIllegal", "{\"stage2_filename\":\"a b.tar.gz\",\"qor_server\":\"qor.halvex.com\"}",
             "Filename contains illegal characters"),
    Download("QorServerEmpty", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"\"}", "Server name doesn't have an expected value"),
    Download("QorServerForeign", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"qor.example.com\"}",
             "Server name doesn't have an expected value"),
    Download("DownloadsServerEmpty", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"qor.halvex.com\",\"downloads_server\":\"\"}",
             "Server name doesn't have an expected value"),
    Download("TelemetryServerIllegal", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"qor.halvex.com\",\"telemetry_server\":\"a b.halvex.com\"}",
             "Server name contains illegal characters"),
    Download("DiagnosticsServerDomainAlone", "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"qor.halvex.com\",\"diagnostics_server\":\"halvex.com\"}",
             "Server name doesn't have an expected value"),
    // In the order of the members' table, not of the reply.
    Download("FileNameCheckedFirst", "{\"qor_server\":\"bad\",\"stage2_filename\":\"bad\"}",
             "Filename does not have the expected extension, but :'.tar.gz'"),
    Download("TelemetryBeforeDiagnostics", "{\"diagnostics_server\":7,\"telemetry_server\":\"bad\",\"stage2_filename\":\"s.tar.gz\","
             "\"qor_server\":\"qor.halvex.com\"}",
             "Server name doesn't have an expected value"),

    // Without both required values: the error member, else unrecognised content.
    Unrecognised("FileNameWithoutQorServer", "{\"stage2_filename\":\"s.tar.gz\"}"),
    Unrecognised("QorServerWithoutFileName", "{\"qor_server\":\"qor.halvex.com\"}"),
    Unrecognised("EmptyObject", "{}"),
    Unrecognised("Array", "[{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"qor.halvex.com\"}]"),
    Refused("Deprecated", "{\"error\":\"deprecated_stage_1\"}", FatalError::ExpiredFailure,
            "Stage 2 details suggest an expired Stage was used."),
    Refused("DeprecatedWithoutQorServer", "{\"stage2_filename\":\"s.tar.gz\",\"error\":\"deprecated_stage_1\"}", FatalError::ExpiredFailure,
            "Stage 2 details suggest an expired Stage was used."),
    Download("DeprecatedOtherCase", "{\"error\":\"DEPRECATED_STAGE_1\"}", "Failed to get stage 2 details: DEPRECATED_STAGE_1"),
    Download("OtherError", "{\"error\":\"no_such_customer\"}", "Failed to get stage 2 details: no_such_customer"),
    Download("NullError", "{\"error\":null}", "Failed to get stage 2 details: null"),
    Download("NumberError", "{\"error\":42}", "Failed to get stage 2 details: 42"),

    // Not a document at all.
    Download("EmptyReply", "", "Error parsing json file for Stage 2 filename: Json content was :"),
    Download("NotJson", "<html>", "Error parsing json file for Stage 2 filename: Unknown token: <html>Json content was :<html>"),
    Download("BadStructure", "{\"stage2_filename\":\"s.tar.gz\",}]",
             "Error parsing json file for Stage 2 filename: Found end of object or array without beginning"
             "Json content was :{\"stage2_filename\":\"s.tar.gz\",}]")),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Stage2DetailsReplyTest, EveryValueMustBeAString)
{
    for (const char* value : kNotAString) {
        for (const char* name : {"stage2_filename", "qor_server", "downloads_server", "telemetry_server",
                                 "diagnostics_server"}) {
            std::string reply = "{\"stage2_filename\":\"s.tar.gz\",\"qor_server\":\"qor.halvex.com\"}";
            // The first member of a name counts: put the bad one first.
            reply.insert(1, std::string("\"") + name + "\":" + value + ",");
            try {
                S1::parseStage2Details(reply);
                ADD_FAILURE() << reply;
            } catch (const FatalError& e) {
                EXPECT_EQ(e.Code(), FatalError::DownloadFailure) << reply;
                EXPECT_EQ(e.what(), std::string("Non string value provided for ") + name) << reply;
            }
        }
    }
}

TEST(Stage2DetailsReplyTest, TheReplyIsLogged)
{
    test::TempFolder temp;
    SetTraceLogFile((temp / L"trace.log").wstring());
    try {
        S1::parseStage2Details("{\"error\":\"x\"}");
    } catch (const FatalError&) {
    }
    test::ClearTraceLogFile();
    EXPECT_NE(test::ReadFile(temp / L"trace.log").find(
                  "INFO : Parsing message received for Stage 2 filename: '{\"error\":\"x\"}'"),
              std::string::npos);
}

}  // namespace
