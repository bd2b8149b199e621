// The built installer, run as a process the way a user or a deployment starts it.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "Installer/SafeLauncherHelper.h"
#include "Utilities/ProgramDataFolder.h"
#include "halvlib/String.h"
#include "support/Matchers.h"
#include "support/TraceLogReset.h"
#include "support/Process.h"
#include "support/TempFolder.h"

using ::testing::HasSubstr;

namespace {

class HalvexInstall : public ::testing::Test {
protected:
    // Runs the installer with its temporary folder in a folder of the test's own.
    DWORD Run(const std::wstring& arguments, std::optional<std::wstring> launcher)
    {
        const std::wstring tmp = temp.Path().wstring() + L"\\";
        return test::RunProcess(exe, arguments,
                                {{L"TMP", tmp}, {L"TEMP", tmp}, {S1::SafeLauncherHelper::kVariable, launcher}})
            .exitCode;
    }

    std::filesystem::path OnlyLog()
    {
        std::vector<std::filesystem::path> logs;
        for (const auto& entry : std::filesystem::directory_iterator(temp.Path()))
            logs.push_back(entry.path());
        EXPECT_EQ(logs.size(), 1u);
        return logs.empty() ? std::filesystem::path() : logs[0];
    }

    const std::wstring exe = test::FromBuildPath(HALVEX_INSTALL_EXE);
    test::TempFolder temp;
};

TEST_F(HalvexInstall, WritesItsTraceLogAndEndsWithTheRunsExitCode)
{
    EXPECT_EQ(Run(L"--quiet --bypassownershipcheck", exe), 1u);
    const auto log = OnlyLog();
    EXPECT_THAT(WideToUtf8(log.filename().wstring()), test::MatchesEcmaRegex(R"(HalvexVeskCloudInstaller_\d{8}_\d{6}\.log)"));
    const std::string text = test::ReadFile(log);
    const std::string time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{7}Z)";
    EXPECT_THAT(text, test::ContainsEcmaRegex("^" + time + " INFO : Vesk Stage 1 version: 1\\.4\\.0\\.397\r\n"));
    // Nothing answers inside the test's network: the quiet attempt fails, and so does the process.
    EXPECT_THAT(text, HasSubstr(" ERROR : Failed to download and run stage 2: Failed to retrieve kelm: "));
    EXPECT_THAT(text, HasSubstr(" ERROR : Exception: Stage 2 fatal error\r\n"));
}

TEST_F(HalvexInstall, MissingLauncherVariable)
{
    EXPECT_EQ(Run(L"--quiet --bypassownershipcheck", std::nullopt), 1u);
    EXPECT_THAT(test::ReadFile(OnlyLog()), HasSubstr(" ERROR : Exception: Failed to get SafeLauncher path\r\n"));
}

TEST_F(HalvexInstall, NonOptionArgumentIsRefusedWithTheUsage)
{
    EXPECT_EQ(Run(L"--bypassownershipcheck --quiet setup.exe", exe), 1u);
    const std::string text = test::ReadFile(OnlyLog());
    EXPECT_THAT(text, HasSubstr(" ERROR : CommandLineException: Non-option passed: setup.exe\r\n"));
    EXPECT_THAT(text, HasSubstr(" ERROR : Usage: HalvexInstall.exe <options>\\n\\nOptions:\\n--quiet\\n"));
    EXPECT_THAT(text, ::testing::Not(HasSubstr("Vesk Stage 1 version")));
}

TEST_F(HalvexInstall, LogsItsOptions)
{
    EXPECT_EQ(Run(L"--bypassownershipcheck --quiet --proxyaddress=p:1 --proxypassword=hidden", exe), 1u);
    const std::string text = test::ReadFile(OnlyLog());
    EXPECT_THAT(text, test::ContainsEcmaRegex("^[^ ]+ INFO : Stage 1 command-line options:\r\n[^ ]+ INFO : ---\r\n"
                                              "[^ ]+ INFO : Quiet mode on: 1\r\n"));
    EXPECT_THAT(text, HasSubstr(" INFO : Proxy address: p:1\r\n"));
    EXPECT_EQ(text.find("hidden"), std::string::npos);
}

TEST_F(HalvexInstall, CarriesItsVersionResource)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(info->dwFileVersionMS, (1u << 16) | 4u);
    EXPECT_EQ(info->dwFileVersionLS, (0u << 16) | 397u);
}

}  // namespace

namespace {

// Wine reports the Unix user as the owner of every folder: an existing Halvex program-data
// folder is foreign-owned here, as a planted one would be on Windows.
class HalvexInstallProgramData : public HalvexInstall {
protected:
    void SetUp() override
    {
        const std::wstring folder = utilities::GetMakerProgramDataFolder();
        CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    }

    test::ProcessResult RunCapturingDebugOutput(const std::wstring& arguments)
    {
        const std::wstring tmp = temp.Path().wstring() + L"\\";
        return test::RunProcess(exe, arguments, {{L"TMP", tmp}, {L"TEMP", tmp}, {S1::SafeLauncherHelper::kVariable, exe}},
                                60'000, true);
    }
};

TEST_F(HalvexInstallProgramData, ForeignOwnedFolderRefusesTheStart)
{
    const auto result = RunCapturingDebugOutput(L"--quiet");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.debugOutput, L"Failure before fully initialised trace logger: " +
                                      Utf8ToWide(utilities::kProgramDataNotOwnedMessage) + L"\n");
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "no trace log before the start is allowed";
}

TEST_F(HalvexInstallProgramData, BypassLetsTheStartGoOn)
{
    const auto result = RunCapturingDebugOutput(L"--bypassownershipcheck --quiet");
    EXPECT_EQ(result.exitCode, 1u) << "the run itself is not built yet";
    EXPECT_EQ(result.debugOutput, L"");
    EXPECT_FALSE(std::filesystem::is_empty(temp.Path()));
}

}  // namespace
