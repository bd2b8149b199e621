#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "Installer/KelmClient.h"
#include "Shared/VeskHttpClient/HttpClient.h"
#include "Shared/VeskUtilities/WebHosts.h"
#include "support/TempFolder.h"
#include "support/TraceLogReset.h"
#include "Utilities/FatalError.h"

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Return;
using ::testing::UnorderedElementsAre;
using Setup::FatalError;

namespace {

// What a fake client saw. Kept apart from the client, so that a client released too early is
// noticed rather than written after its end.
struct CallLog {
    std::mutex mutex;
    std::vector<std::wstring> paths;
    std::atomic<int> inFlight{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> releasedDuringCall{false};
    std::atomic<int> finished{0};
    HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    ~CallLog() { CloseHandle(entered); }
};

class FakeHttpClient : public Vesk::Http::IHttpClient {
public:
    explicit FakeHttpClient(std::shared_ptr<CallLog> log) : log(std::move(log)) {}
    ~FakeHttpClient() override
    {
        if (log->inFlight > 0)
            log->releasedDuringCall = true;
    }

    // Runs inside every GET; by default the document's body.
    std::function<std::string(const std::wstring&)> answer = [](const std::wstring&) { return std::string("{}"); };
    // How long each GET stays in flight.
    DWORD busyMilliseconds = 0;

    std::string httpGet(const std::wstring& path, const std::vector<Vesk::Http::HttpHeader>& headers) override
    {
        // Only the log from here on: it outlives this object.
        const std::shared_ptr<CallLog> calls = log;
        if (++calls->inFlight > 1)
            calls->overlapped = true;
        {
            const std::lock_guard lock(calls->mutex);
            calls->paths.push_back(path);
        }
        EXPECT_TRUE(headers.empty());
        SetEvent(calls->entered);
        const DWORD busy = busyMilliseconds;
        const auto reply = answer;
        struct Leave {
            CallLog& calls;
            DWORD busy;
            ~Leave()
            {
                if (busy)
                    Sleep(busy);
                ++calls.finished;
                --calls.inFlight;
            }
        } leave{*calls, busy};
        return reply(path);
    }

    std::string httpPost(const std::wstring&, const std::vector<Vesk::Http::HttpHeader>&, const std::string&) override
    {
        ADD_FAILURE() << "only GET is used";
        return {};
    }
    Vesk::Http::HttpResponse httpPostWithResponse(const std::wstring&, const std::vector<Vesk::Http::HttpHeader>&,
                                                  const std::string&) override
    {
        ADD_FAILURE() << "only GET is used";
        return {};
    }
    std::string httpDelete(const std::wstring&, const std::vector<Vesk::Http::HttpHeader>&) override
    {
        ADD_FAILURE() << "only GET is used";
        return {};
    }
    std::string httpPut(const std::wstring&, const std::vector<Vesk::Http::HttpHeader>&, const std::string&) override
    {
        ADD_FAILURE() << "only GET is used";
        return {};
    }

private:
    std::shared_ptr<CallLog> log;
};

class MockHttpClientFactory : public Vesk::Http::IHttpClientFactory {
public:
    MOCK_METHOD(std::shared_ptr<Vesk::Http::IHttpClient>, createClient, (const std::wstring&, const std::wstring&),
                (override));
    MOCK_METHOD(std::shared_ptr<Vesk::Http::IHttpClient>, createClient,
                (const std::wstring&, const std::wstring&, const Vesk::Http::CertificateFiles&), (override));
    MOCK_METHOD(std::shared_ptr<Vesk::Http::IHttpClient>, createClient,
                (const std::wstring&, const std::wstring&, const std::set<Proxy>&, std::int32_t), (override));
};

class KelmClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetTraceLogFile((temp / L"trace.log").wstring());
        // The current fake, not a copy kept by the mock: a test may leave the client the last owner.
        ON_CALL(factory, createClient(_, _)).WillByDefault([this](auto&&...) -> std::shared_ptr<Vesk::Http::IHttpClient> {
            return http;
        });
    }
    void TearDown() override { test::ClearTraceLogFile(); }

    std::unique_ptr<S1::KelmClient> MakeClient()
    {
        return std::make_unique<S1::KelmClient>(factory, options, settings);
    }

    // Nothing logged leaves no file.
    std::string Log()
    {
        const std::filesystem::path file = temp / L"trace.log";
        return std::filesystem::exists(file) ? test::ReadFile(file) : std::string();
    }

    test::TempFolder temp;
    std::shared_ptr<CallLog> calls = std::make_shared<CallLog>();
    std::shared_ptr<FakeHttpClient> http = std::make_shared<FakeHttpClient>(calls);
    ::testing::NiceMock<MockHttpClientFactory> factory;
    S1::VeskOptions options{{}, std::nullopt};
    Stage1Settings settings = mergeSettings({}, {});
};

struct ProxyCase {
    const char* name;
    std::optional<Proxy> customerProxy;
    bool noproxydetection;
    std::int32_t discovery;  // -1: the plain client
};

void PrintTo(const ProxyCase& c, std::ostream* out)
{
    *out << c.name;
}

class KelmClientProxyTest : public KelmClientTest, public ::testing::WithParamInterface<ProxyCase> {};

TEST_P(KelmClientProxyTest, HonoursTheUsersProxySettings)
{
    const ProxyCase& c = GetParam();
    options.region = L"qa";
    const std::wstring host = Vesk::Utilities::GetServiceHost(L"qa");
    ASSERT_NE(host, Vesk::Utilities::GetServiceHost(L"prod"));
    std::set<Proxy> proxies;
    if (c.customerProxy)
        proxies.insert(*c.customerProxy);
    settings.proxies = proxies;
    settings.noproxydetection = c.noproxydetection;

    EXPECT_CALL(factory, createClient(_, _, ::testing::A<const Vesk::Http::CertificateFiles&>())).Times(0);
    if (c.discovery < 0) {
        EXPECT_CALL(factory, createClient(host, std::wstring(L"Halvex Vesk Installer/Win"))).WillOnce(Return(http));
        EXPECT_CALL(factory, createClient(_, _, ::testing::A<const std::set<Proxy>&>(), _)).Times(0);
    } else {
        EXPECT_CALL(factory, createClient(_, _)).Times(0);
        EXPECT_CALL(factory, createClient(host, std::wstring(L"Halvex Vesk Installer/Win"), proxies, c.discovery))
            .WillOnce(Return(http));
    }
    auto client = MakeClient();
    EXPECT_EQ(client->GetConfiguration(), "{}") << "the factory's client carries the requests";
}

INSTANTIATE_TEST_SUITE_P(
    Settings, KelmClientProxyTest,
    ::testing::Values(ProxyCase{"NoProxyNoFlag", std::nullopt, false, -1},
                      ProxyCase{"CustomerProxy", Proxy(Customer, "proxy.corp:8080", "user", "secret"), false, 0},
                      ProxyCase{"NoProxyDetectionOnly", std::nullopt, true, 1},
                      ProxyCase{"CustomerProxyAndNoDetection", Proxy(Customer, "proxy.corp:8080", "", ""), true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KelmClientTest, TheRegionPicksTheHost)
{
    // No "--region" leaves "prod"; any letter case names the same environment.
    for (const wchar_t* region : {L"prod", L"Dev", L"SB", L"nowhere"}) {
        options.region = region;
        EXPECT_CALL(factory, createClient(Vesk::Utilities::GetServiceHost(std::wstring(region)), _))
            .WillOnce(Return(http));
        MakeClient();
    }
}

TEST_F(KelmClientTest, GetConfigurationFetchesTheDocument)
{
    http->answer = [](const std::wstring&) { return std::string("{\"stage2-filename\":\"a.tar.gz\"}"); };
    auto client = MakeClient();
    EXPECT_EQ(client->GetConfiguration(), "{\"stage2-filename\":\"a.tar.gz\"}");
    EXPECT_THAT(calls->paths, ElementsAre(L"config/windows-installer.json"));
}

struct ErrorCase {
    const char* name;
    std::function<void()> raise;
    std::string message;
};

void PrintTo(const ErrorCase& c, std::ostream* out)
{
    *out << c.name;
}

class KelmClientErrorTest : public KelmClientTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(KelmClientErrorTest, FetchFailuresAreDownloadFailures)
{
    const auto raise = GetParam().raise;
    http->answer = [raise](const std::wstring&) -> std::string {
        raise();
        return {};
    };
    auto client = MakeClient();
    try {
        client->GetConfiguration();
        FAIL() << "no failure";
    } catch (const FatalError& e) {
        EXPECT_EQ(e.Code(), FatalError::DownloadFailure);
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
}

using HttpError = Vesk::Http::HttpClient::Error;

INSTANTIATE_TEST_SUITE_P(
    Failures, KelmClientErrorTest,
    ::testing::Values(
        ErrorCase{"HttpErrorWithStatus",
                  [] { throw HttpError("Request failed", 503, true, {{L"Retry-After", L"5"}}, "busy"); },
                  "Failed to retrieve kelm. Status code: 503: Request failed: status code=503"},
        ErrorCase{"HttpErrorWithoutStatus", [] { throw HttpError("Connection failed", false); },
                  "Failed to retrieve kelm: Connection failed"},
        ErrorCase{"RefusedCertificate", [] { throw HttpError("Connection failed"); },
                  "Failed to retrieve kelm: Connection failed: certificate check failure"},
        ErrorCase{"OtherException", [] { throw std::logic_error("Unexpected CertificateCheck value"); },
                  "Failed to retrieve kelm: Unexpected CertificateCheck value"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KelmClientTest, ReportsSendTheirQueryAfterTheDocumentPath)
{
    auto client = MakeClient();
    {
        // The caller's texts are gone before the reports' threads read them.
        std::wstring query = L"?stage2downloadTime=12";
        client->QueryAsync(query);
        query.assign(L"?overwritten");
        client->QueryAsync(std::wstring(L"?stage1Failure=download_failure&attempt=2"));
    }
    client->WaitAll();
    EXPECT_THAT(calls->paths, UnorderedElementsAre(L"config/windows-installer.json?stage2downloadTime=12",
                                                   L"config/windows-installer.json?stage1Failure=download_failure&attempt=2"));
    EXPECT_THAT(Log(), Not(HasSubstr("Failed to query kelm")));
}

TEST_F(KelmClientTest, AFailedReportIsOneInfoLine)
{
    http->answer = [](const std::wstring& path) -> std::string {
        if (path.ends_with(L"=1"))
            throw HttpError("Request failed", 500, true, {}, "");
        throw 42;  // not even a standard exception: the report's thread must still end quietly
    };
    auto client = MakeClient();
    client->QueryAsync(L"?stage2downloadTime=1");
    client->WaitAll();
    client->QueryAsync(L"?stage2downloadTime=2");
    client->WaitAll();
    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr(" INFO : Failed to query kelm: Request failed: status code=500\r\n"));
    EXPECT_THAT(log, HasSubstr(" INFO : Failed to query kelm: unknown exception\r\n"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

TEST_F(KelmClientTest, CallsOnTheSharedClientNeverOverlap)
{
    http->busyMilliseconds = 20;
    auto client = MakeClient();
    for (int i = 0; i < 8; ++i)
        client->QueryAsync(L"?stage1Failure=unknown&attempt=" + std::to_wstring(i));
    for (int i = 0; i < 2; ++i)
        client->GetConfiguration();
    client->WaitAll();
    EXPECT_EQ(calls->finished.load(), 10);
    EXPECT_FALSE(calls->overlapped.load()) << "two requests were on the one client at once";
}

TEST_F(KelmClientTest, DestructorWaitsForASlowReport)
{
    // The test holds no reference to the HTTP client: the Kelm client's is the last one.
    http->busyMilliseconds = 300;
    auto client = MakeClient();
    http.reset();
    client->QueryAsync(L"?stage2downloadTime=3");
    ASSERT_EQ(WaitForSingleObject(calls->entered, INFINITE), WAIT_OBJECT_0);
    client.reset();
    EXPECT_EQ(calls->finished.load(), 1) << "the report was cut off";
    EXPECT_FALSE(calls->releasedDuringCall.load()) << "the HTTP client went while a report still used it";
}

}  // namespace
