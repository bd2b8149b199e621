#pragma once

#include <gmock/gmock.h>

#include "Installer/IKelmClient.h"
#include "Installer/IKelmController.h"
#include "Installer/IStage1Setup.h"
#include "Shared/VeskUtilities/IFileSystemHelper.h"
#include "Shared/VeskUtilities/ISystemHelper.h"
#include "Shared/VeskUtilities/IWebHelper.h"

namespace test {

class MockStage1Setup : public S1::IStage1Setup {
public:
    MOCK_METHOD(ProcessorArchitecture, GetStage2Architecture, (), (override));
    MOCK_METHOD(S1::Stage2Details, GetStage2Details,
                (const std::wstring&, const std::wstring&, bool, const Stage1Settings&, ProcessorArchitecture),
                (override));
    MOCK_METHOD(std::vector<char>, DownloadStage2, (const std::wstring&, const std::wstring&, bool, const Stage1Settings&),
                (override));
    MOCK_METHOD(void, ExtractAndVerifyStage2, (const std::vector<char>&, bool, const std::wstring&), (override));
    MOCK_METHOD(void, VerifyCachedStage2, (bool, const std::wstring&), (override));
    MOCK_METHOD(bool, RunStage2, (const std::vector<S1::Stage2Argument>&, const Stage1Settings&), (override));
    MOCK_METHOD(void, validateMandatorySettings, (const Stage1Settings&), (override));
};

class MockKelmClient : public S1::IKelmClient {
public:
    MOCK_METHOD(std::string, GetConfiguration, (), (override));
    MOCK_METHOD(void, QueryAsync, (const std::wstring&), (override));
};

class MockKelmController : public S1::IKelmController {
public:
    MOCK_METHOD(void, Refresh, (), (override));
    MOCK_METHOD(std::optional<std::string>, GetMinimumVersion, (), (const, override));
    MOCK_METHOD(bool, IsStage1Retired, (const std::string&), (const, override));
    MOCK_METHOD(std::optional<std::wstring>, GetStage2FileName, (), (const, override));
    MOCK_METHOD(std::optional<std::wstring>, GetStage2FileNameArm64, (), (const, override));
};

class MockFileSystem : public Vesk::Utilities::FileSystem::IFileSystemHelper {
public:
    MOCK_METHOD(std::wstring, GetModuleFolder, (), (override));
    MOCK_METHOD(std::wstring, GetCommonAppDataFolder, (), (override));
    MOCK_METHOD(bool, Exists, (std::wstring), (override));
    MOCK_METHOD(bool, ReadFileContents, (std::wstring, std::string&), (override));
    MOCK_METHOD(std::optional<std::string>, ReadFileContents, (std::wstring), (override));
    MOCK_METHOD(std::optional<std::vector<Vesk::Utilities::FileSystem::FoundFile>>, FindFiles,
                (std::wstring, const wchar_t*), (override));
    MOCK_METHOD(bool, DeleteFileInFolder, (std::wstring, std::wstring_view), (override));
    MOCK_METHOD(bool, RenameWithSuffix, (std::wstring, std::wstring_view, const wchar_t*), (override));
    MOCK_METHOD(HANDLE, StartChangeNotification, (std::wstring), (override));
    MOCK_METHOD(BOOL, NextChangeNotification, (HANDLE), (override));
    MOCK_METHOD(BOOL, CloseChangeNotification, (HANDLE), (override));
    MOCK_METHOD(bool, WriteFileContents, (std::wstring, const std::string&), (override));
    MOCK_METHOD(void, Remove, (std::wstring), (override));
    MOCK_METHOD(void, RemoveAll, (std::wstring, int), (override));
    MOCK_METHOD(bool, DeleteAtReboot, (std::wstring), (override));
    MOCK_METHOD(bool, CopyFileTo, (std::wstring, std::wstring), (override));
    MOCK_METHOD(bool, Exists, (const std::filesystem::path&), (override));
    MOCK_METHOD(std::wstring, GetProgramFilesFolder, (bool), (override));
};

class MockWeb : public Vesk::Utilities::Web::IWebHelper {
public:
    MOCK_METHOD(bool, OpenUrl, (const std::wstring&), (override));
    MOCK_METHOD(bool, SetBrowserEmulation, (bool), (override));
};

class MockSystem : public Vesk::Utilities::System::ISystemHelper {
public:
    MOCK_METHOD(bool, Restart, (), (override));
};

}  // namespace test
