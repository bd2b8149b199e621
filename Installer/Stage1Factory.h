#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Installer/ISafeLauncher.h"
#include "Installer/Stage1Settings.h"
#include "Installer/Stage1Setup.h"
#include "Installer/VeskOptions.h"
#include "Shared/VeskUtilities/IFileSystemHelper.h"
#include "Shared/VeskUtilities/IResourceHelper.h"
#include "Shared/VeskUtilities/ISystemHelper.h"

namespace S1 {

// The ids of the program's embedded resources.
struct ResourceConfiguration {
    int rootCertificateId = 0;
    int revocationListId = 0;
    std::map<std::wstring, int> localisations;  // language tag -> resource id
    std::wstring defaultLanguage;
    std::vector<int> fonts;
    std::map<std::wstring, int> themes;
    std::wstring themeName;
};

// The configuration of this program's own resources.
const ResourceConfiguration& BuiltInResourceConfiguration();

// The resumable copy in the working folder, and the base name of the machine-wide event.
extern const wchar_t* const kResumableFileName;
extern const wchar_t* const kSingleInstanceEventName;

// The arguments of a command line after the program's name, as the system splits the name off.
std::wstring ArgumentsAfterProgramName(const std::wstring& commandLine);

// The process environment with one variable set to a value, as a block for CreateProcessW.
std::wstring EnvironmentBlockWith(const wchar_t* environmentStrings, const std::wstring& name,
                                  const std::wstring& value);

class SetupController;

// Starts the first attempt; true when a resume file was there before it began (the attempt itself
// deletes the working folder, resume file included).
bool StartFirstAttempt(SetupController& controller);

// One stage-1 run: the relaunch from a temporary copy, one instance per machine, the run's
// objects, the first attempt and the wait for it.
class Stage1Factory {
public:
    // Starts a program: its path, its whole command line and its environment block. False when
    // the start failed; the last error then says why.
    using ProcessStarter = std::function<bool(const std::wstring& application, const std::wstring& commandLine,
                                              const std::wstring& environment)>;

    // A null restart service means the machine's own.
    Stage1Factory(const Stage1Settings& settings, HINSTANCE instance,
                  Vesk::Utilities::FileSystem::IFileSystemHelper& fileSystem,
                  Vesk::Utilities::Resources::IResourceHelper& resources, const ISafeLauncher& safeLauncher,
                  ResourceConfiguration configuration,
                  Vesk::Utilities::System::ISystemHelper* restartService = nullptr);
    Stage1Factory(const Stage1Settings& settings, HINSTANCE instance,
                  Vesk::Utilities::FileSystem::IFileSystemHelper& fileSystem,
                  Vesk::Utilities::Resources::IResourceHelper& resources, const ISafeLauncher& safeLauncher,
                  ResourceConfiguration configuration, Vesk::Utilities::System::ISystemHelper* restartService,
                  ProcessStarter startProcess, std::wstring commandLine);
    virtual ~Stage1Factory() = default;

    void Run();
    bool RelaunchAsClone();
    VeskOptions CreateVeskOptions();
    RootTrust LoadRootCertificates();

private:
    // The window over the controller, until it is destroyed.
    void RunWindow(SetupController& controller, HANDLE singleInstanceEvent);

    const Stage1Settings& settings;
    HINSTANCE instance;
    Vesk::Utilities::FileSystem::IFileSystemHelper& fileSystem;
    Vesk::Utilities::Resources::IResourceHelper& resources;
    const ISafeLauncher& safeLauncher;
    ResourceConfiguration configuration;
    Vesk::Utilities::System::ISystemHelper* restartService;
    ProcessStarter startProcess;
    std::wstring commandLine;
};

}  // namespace S1
