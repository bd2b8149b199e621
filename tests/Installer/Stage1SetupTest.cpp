#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/throw_exception.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "HttpClient/HttpClient.h"
#include "Installer/Stage1Setup.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TraceLogReset.h"
#include "Utilities/FatalError.h"
#include "Utilities/TraceLog.h"

using ::testing::HasSubstr;
using Setup::FatalError;

namespace {

std::filesystem::path TrustFixture(const std::wstring& name)
{
    return std::filesystem::path(test::FromBuildPath(HALVEX_TRUST_FIXTURES)) / name;
}

std::filesystem::path Archive(const std::wstring& name)
{
    return std::filesystem::path(test::FromBuildPath(HALVEX_STAGE2_ARCHIVES)) / name;
}

std::vector<char> ReadArchive(const std::wstring& name)
{
    const std::string bytes = test::ReadFile(Archive(name));
    return std::vector<char>(bytes.begin(), bytes.end());
}

// The test PKI's root stands in for the built-in one.
S1::RootTrust TestRoot()
{
    return {test::ReadFile(TrustFixture(L"pki/root.crt")), test::ReadFile(TrustFixture(L"pki/root.crl"))};
}

class FakeHttpClient : public IHttpClient {
public:
    std::function<std::string()> answer = [] { return std::string("archive"); };
    int gets = 0;
    std::wstring path;
    std::vector<HttpHeader> headers;

    std::string httpGet(const std::wstring& p, const std::vector<HttpHeader>& h) override
    {
        ++gets;
        path = p;
        headers = h;
        return answer();
    }
    std::string httpPost(const std::wstring&, const std::vector<HttpHeader>&, const std::string&) override
    {
        throw std::logic_error("unexpected POST");
    }
    std::string httpDelete(const std::wstring&, const std::vector<HttpHeader>&) override
    {
        throw std::logic_error("unexpected DELETE");
    }
    std::string httpPut(const std::wstring&, const std::vector<HttpHeader>&, const std::string&) override
    {
        throw std::logic_error("unexpected PUT");
    }
};

class Stage1SetupTest : public ::testing::Test {
protected:
    void SetUp() override { SetTraceLogFile((temp / L"trace.log").wstring()); }
    void TearDown() override { test::ClearTraceLogFile(); }

    std::string Log() const { return test::ReadFile(temp / L"trace.log"); }

    template <class Call>
    FatalError Failure(Call call)
    {
        try {
            call();
        } catch (const FatalError& e) {
            return e;
        }
        ADD_FAILURE() << "no Setup::FatalError";
        return FatalError("", FatalError::Unknown);
    }

    test::TempFolder temp;
    const S1::RootTrust root = TestRoot();
};

TEST_F(Stage1SetupTest, OnlyArm64GetsAStage2OfItsOwn)
{
    struct Case {
        ProcessorArchitecture native;
        ProcessorArchitecture requested;
        const char* line;
    };
    const Case cases[] = {
        {ProcessorArchitecture::X86, ProcessorArchitecture::X86, "INFO : Running on x86, requesting x86 Stage2"},
        {ProcessorArchitecture::X64, ProcessorArchitecture::X86, "INFO : Running on x64, requesting x86 Stage2"},
        {ProcessorArchitecture::ARM64, ProcessorArchitecture::ARM64,
         "INFO : Running on ARM64, requesting ARM64 Stage2"},
        {ProcessorArchitecture::Other, ProcessorArchitecture::X86,
         "INFO : Running on another architecture, requesting x86 Stage2"},
    };
    for (const Case& c : cases) {
        S1::Stage1Setup setup(root, nullptr, [&c] { return c.native; });
        EXPECT_EQ(setup.GetStage2Architecture(), c.requested) << c.line;
        EXPECT_THAT(Log(), HasSubstr(c.line));
    }
}

TEST_F(Stage1SetupTest, TheArchiveComesFromItsPathWithItsBytesUnchanged)
{
    std::wstring host;
    bool noProxyDetection = false;
    // The client goes with the download; what it was asked stays here.
    auto asked = std::make_shared<FakeHttpClient>();
    const std::string bytes("\x1f\x8b\0\xff tail", 9);
    S1::Stage1Setup setup(
        root,
        [&](const std::wstring& h, bool noDetection, const Stage1Settings&) {
            host = h;
            noProxyDetection = noDetection;
            auto client = std::make_unique<FakeHttpClient>();
            client->answer = [&bytes, asked, made = client.get()] {
                asked->path = made->path;
                asked->headers = made->headers;
                return bytes;
            };
            return client;
        },
        [] { return ProcessorArchitecture::X64; });

    Stage1Settings settings;
    const std::vector<char> archive = setup.DownloadStage2(L"downloads.example", L"stage2-1.0.tar.gz", true, settings);

    EXPECT_EQ(std::string(archive.begin(), archive.end()), bytes);
    EXPECT_EQ(host, L"downloads.example");
    EXPECT_TRUE(noProxyDetection);
    const auto made = asked;
    EXPECT_EQ(made->path, L"full/corvale/windows/vesk/installer/stage2-1.0.tar.gz");
    ASSERT_EQ(made->headers.size(), 1u);
    EXPECT_EQ(made->headers[0].name, L"Accept");
    EXPECT_EQ(made->headers[0].value, L"application/gzip");
}

TEST_F(Stage1SetupTest, DownloadFailuresTellExpiryFromTheRest)
{
    struct Case {
        const char* name;
        std::function<void()> fail;
        FatalError::Type code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"404", [] { boost::throw_exception(HttpClient::Error("Bad response", 404, true)); },
         FatalError::ExpiredFailure, "404 error indicating potentially expired stage 1"},
        {"500", [] { boost::throw_exception(HttpClient::Error("Bad response", 500, true)); },
         FatalError::DownloadFailure, "Failed to download stage-2 archive. Status code: 500: Bad response"},
        {"no status", [] { boost::throw_exception(HttpClient::Error("Failed to connect with any proxy", false)); },
         FatalError::DownloadFailure, "Failed to download stage-2 archive: Failed to connect with any proxy"},
        {"other", [] { throw std::runtime_error("out of memory"); }, FatalError::DownloadFailure,
         "Failed to download stage-2 archive: out of memory"},
    };
    for (const Case& c : cases) {
        FakeHttpClient client;
        client.answer = [&c] {
            c.fail();
            return std::string();
        };
        const FatalError e = Failure([&] { S1::downloadStage2Archive(client, L"stage2.tar.gz"); });
        EXPECT_EQ(e.Code(), c.code) << c.name;
        EXPECT_THAT(e.what(), ::testing::StartsWith(c.text)) << c.name;
    }
}

TEST_F(Stage1SetupTest, AClientThatCannotBeMadeIsADownloadFailure)
{
    S1::Stage1Setup setup(
        root,
        [](const std::wstring&, bool, const Stage1Settings&) -> std::unique_ptr<IHttpClient> {
            throw std::runtime_error("WinHttpOpen failed: 5");
        },
        [] { return ProcessorArchitecture::X64; });
    const FatalError e = Failure([&] { setup.DownloadStage2(L"host", L"stage2.tar.gz", false, Stage1Settings{}); });
    EXPECT_EQ(e.Code(), FatalError::DownloadFailure);
    EXPECT_STREQ(e.what(), "Failed to download stage-2 archive: WinHttpOpen failed: 5");
}

Stage1Settings StampedSettings()
{
    Stage1Settings settings;
    settings.epinstallerserver = L"installer.halvex.com";
    settings.customertoken = L"0123456789abcdef0123456789abcdef0123";
    settings.products = L"vesk,ostrel";
    return settings;
}

TEST_F(Stage1SetupTest, MandatorySettingsAreCheckedInOrder)
{
    struct Case {
        const char* name;
        std::function<void(Stage1Settings&)> change;
        FatalError::Type code;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"nothing at all",
         [](Stage1Settings& s) {
             s.epinstallerserver.clear();
             s.customertoken.clear();
             s.products.clear();
         },
         FatalError::InvalidInstallerServer, "No value was provided for --epinstallerserver "},
        {"foreign server", [](Stage1Settings& s) { s.epinstallerserver = L"installer.example.com"; },
         FatalError::InvalidInstallerServer, nullptr},
        {"no token",
         [](Stage1Settings& s) {
             s.customertoken.clear();
             s.products.clear();
         },
         FatalError::InvalidCustomerToken, "No value was provided for --customertoken"},
        {"short token", [](Stage1Settings& s) { s.customertoken = L"abc"; }, FatalError::InvalidCustomerToken, nullptr},
        {"no products", [](Stage1Settings& s) { s.products.clear(); }, FatalError::InvalidProducts,
         "No value was provided for --products"},
        {"bad products", [](Stage1Settings& s) { s.products = L"vesk;ostrel"; }, FatalError::InvalidProducts, nullptr},
        {"bad customer id", [](Stage1Settings& s) { s.qorcustomerid = L"not-a-guid"; },
         FatalError::InvalidQorCustomerId, "GUID has invalid format"},
        {"empty user id", [](Stage1Settings& s) { s.userid = L""; }, FatalError::InvalidUserId, "User ID is empty"},
        {"bad user id", [](Stage1Settings& s) { s.userid = L"user name"; }, FatalError::InvalidUserId, nullptr},
    };
    for (const Case& c : cases) {
        Stage1Settings settings = StampedSettings();
        c.change(settings);
        const FatalError e = Failure([&] { S1::validateMandatorySettings(settings); });
        EXPECT_EQ(e.Code(), c.code) << c.name;
        if (c.text) {
            EXPECT_STREQ(e.what(), c.text) << c.name;
        }
    }

    Stage1Settings valid = StampedSettings();
    valid.qorcustomerid = L"01234567-89ab-cdef-0123-456789abcdef";
    valid.userid = L"user-1";
    EXPECT_NO_THROW(S1::validateMandatorySettings(valid));
}

TEST_F(Stage1SetupTest, AVerifiedArchiveIsLinkedIntoTheTargetFolder)
{
    S1::Stage1Setup setup(root);
    setup.ExtractAndVerifyStage2(ReadArchive(L"good.tar.gz"), false, temp.Path().wstring());

    EXPECT_EQ(test::ReadFile(temp / L"a.txt"), "alpha\n");
    EXPECT_EQ(test::ReadFile(temp / L"sub/bin/c.dll"), "charlie\n");
    EXPECT_TRUE(std::filesystem::exists(temp / L"extract_cache/manifest.dat"));
    // A link, not a copy: both names reach one file.
    EXPECT_TRUE(std::filesystem::equivalent(temp / L"bin/b.dll", temp / L"extract_cache/bin/b.dll"));
    EXPECT_THAT(Log(), ::testing::Not(HasSubstr("certificates folder")));
}

TEST_F(Stage1SetupTest, AnArchiveThatFailsItsChecksLinksNothing)
{
    struct Case {
        const wchar_t* archive;
        FatalError::Type code;
    };
    const Case cases[] = {
        {L"changed.tar.gz", FatalError::ManifestError},
        {L"unlisted.tar.gz", FatalError::ExtraFileInPackage},
        {L"hostile.tar.gz", FatalError::ExtractFailure},
    };
    for (const Case& c : cases) {
        test::TempFolder target;
        S1::Stage1Setup setup(root);
        const FatalError e =
            Failure([&] { setup.ExtractAndVerifyStage2(ReadArchive(c.archive), false, target.Path().wstring()); });
        EXPECT_EQ(e.Code(), c.code) << e.what();
        EXPECT_FALSE(std::filesystem::exists(target / L"a.txt"));
        EXPECT_FALSE(std::filesystem::exists(target.Path().parent_path() / L"escaped.txt"));
    }
}

TEST_F(Stage1SetupTest, AnotherRootIsNotTrusted)
{
    const S1::RootTrust other{test::ReadFile(TrustFixture(L"pki/other-root.crt")),
                              test::ReadFile(TrustFixture(L"pki/other-root.crl"))};
    S1::Stage1Setup setup(other);
    const FatalError e =
        Failure([&] { setup.ExtractAndVerifyStage2(ReadArchive(L"good.tar.gz"), false, temp.Path().wstring()); });
    EXPECT_EQ(e.Code(), FatalError::ManifestError);
    EXPECT_FALSE(std::filesystem::exists(temp / L"a.txt"));
}

TEST_F(Stage1SetupTest, ACachedStage2MayHoldFilesOfItsOwnButNoChangedOne)
{
    S1::Stage1Setup setup(root);
    const std::filesystem::path folder = temp / L"installed";
    setup.ExtractAndVerifyStage2(ReadArchive(L"good.tar.gz"), false, folder.wstring());
    test::WriteFile(folder / L"written-by-stage2.log", "stage 2 was here\n");
    EXPECT_NO_THROW(setup.VerifyCachedStage2(false, folder.wstring()));

    std::filesystem::remove(folder / L"a.txt");
    test::WriteFile(folder / L"a.txt", "changed\n");
    const FatalError e = Failure([&] { setup.VerifyCachedStage2(false, folder.wstring()); });
    EXPECT_EQ(e.Code(), FatalError::ManifestError);
}

TEST_F(Stage1SetupTest, Stage2RunsFromTheWorkingFolderAndItsAnswerComesBack)
{
    Stage1Settings settings;
    settings.workingFolder = (temp / L"working folder").wstring();
    std::filesystem::create_directories(settings.workingFolder);
    std::filesystem::copy_file(test::FromBuildPath(HALVEX_FAKE_STAGE2_EXE),
                               std::filesystem::path(settings.workingFolder) / L"HalvexInstall_Stage2.exe");
    const std::wstring record = (temp / L"record.bin").wstring();
    SetEnvironmentVariableW(L"HALVEX_FAKE_STAGE2_RECORD", record.c_str());
    SetEnvironmentVariableW(L"HALVEX_FAKE_STAGE2_MODE", L"restart");

    S1::Stage1Setup setup(root);
    const bool restart = setup.RunStage2({S1::Stage2Argument{L"region", L"eu"}}, settings);

    SetEnvironmentVariableW(L"HALVEX_FAKE_STAGE2_RECORD", nullptr);
    SetEnvironmentVariableW(L"HALVEX_FAKE_STAGE2_MODE", nullptr);
    EXPECT_TRUE(restart);
    const std::string recorded = test::ReadFile(record);
    const std::wstring fields(reinterpret_cast<const wchar_t*>(recorded.data()), recorded.size() / sizeof(wchar_t));
    EXPECT_THAT(fields, HasSubstr(L"working folder\\HalvexInstall_Stage2.exe"));
    EXPECT_THAT(fields, HasSubstr(L"--region=eu"));
}

}  // namespace
