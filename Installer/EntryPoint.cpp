#include "Installer/EntryPoint.h"

#include <exception>
#include <memory>
#include <stdexcept>

#include <windows.h>

#include <sstream>

#include "Installer/CommandLine.h"
#include "Installer/Stage1Factory.h"
#include "Installer/Stage1Settings.h"
#include "Installer/StampedSettings.h"
#include "Resources/TrustRoot.h"
#include "Shared/VeskUtilities/FileSystemHelper.h"
#include "Shared/VeskUtilities/ResourceHelper.h"
#include "Utilities/FileSystem.h"
#include "Utilities/LogStatement.h"
#include "Utilities/ProcessorArchitecture.h"
#include "Utilities/Stage1Logger.h"

namespace S1 {

namespace {

// Stage 2 is a native program on x86 and ARM64 and a 32-bit one on x64.
std::wstring chooseStage2ProgramFiles()
{
    const ProcessorArchitecture architecture = utilities::GetProcessorArchitecture();
    LOG_INFO << "Detected architecture: " << static_cast<int>(architecture);
    if (architecture == ProcessorArchitecture::X86 || architecture == ProcessorArchitecture::ARM64) {
        LOG_INFO << "Using native program files for stage 2";
        return utilities::GetSystemFolder(utilities::SystemFolderId::ProgramFilesDir);
    }
    LOG_INFO << "Using x86 program files for stage 2";
    return utilities::GetSystemFolder(utilities::SystemFolderId::ProgramFilesX86);
}

void LogLines(const std::wstring& text)
{
    std::wistringstream lines(text);
    for (std::wstring line; std::getline(lines, line);)
        LOG_INFO << line;
}

}  // namespace

Stage1Settings parseStage1Settings(const std::wstring& commandLine, const ISafeLauncher& safeLauncher)
{
    std::wostringstream optionLines;
    const CommandLine parser(optionLines, commandLine, OptionParserLib::Helper::UnknownOptionsBehaviour::Ignore);
    const CommandLineOptions options = evaluateCommandLineOptions(optionLines, parser.parse());
    LOG_INFO << "Stage 1 command-line options:";
    LOG_INFO << "---";
    LogLines(optionLines.str());
    LOG_INFO << "---";

    // The settings are stamped into the file the launcher started, not necessarily this one.
    const StampedSettings stamp = makeStampedSettings(parseStampBlob(readStampBlob(safeLauncher.GetLauncherPath())));
    Stage1Settings settings = mergeSettings(stamp, options);
    settings.parentpid = GetCurrentProcessId();
    settings.workingFolder = chooseStage2ProgramFiles() + L"\\Halvex\\CloudInstaller";
    return settings;
}

namespace {

struct CustomLoggerScope {
    CustomLoggerScope() { CustomLogger = std::make_shared<Stage1Logger>(); }
    ~CustomLoggerScope() { CustomLogger.reset(); }
};

}  // namespace

int RunEntryPoint(HINSTANCE instance, const std::wstring& commandLine, EntryPointServices& services)
{
    try {
        if (const int refused = runStartupChecks(commandLine, services.checks, services.reporter))
            return refused;
        SetTraceLogFile(makeLogFilePath());
    } catch (const std::exception& e) {
        services.reporter.ReportEarlyFailure(e.what());
        return 1;
    }

    if (HALVEX_BUILT_IN_ROOT_IS_DEVELOPMENT)
        LOG_WARNING << "This build trusts a development root certificate for stage-2 packages, not the maker's root";

    const CustomLoggerScope customLogger;
    try {
        const Stage1Settings settings = parseStage1Settings(commandLine, services.safeLauncher);
        if (settings.commandlinelogging)
            LOG_INFO << "HalvexInstall (stage 1) command line: " << commandLine;
        LOG_INFO << "Vesk Stage 1 version: " << kStage1Version;
        services.run(instance, settings, services.safeLauncher);
        return 0;
    } catch (const CommandLineException& e) {
        LOG_ERROR << "CommandLineException: " << e.what();
        LOG_ERROR << "Usage: " << CommandLine::usage();
        return 1;
    } catch (const std::exception& e) {
        LOG_ERROR << "Exception: " << e.what();
        return 1;
    }
}

void RunStage1(HINSTANCE instance, const Stage1Settings& settings, const ISafeLauncher& safeLauncher,
               Vesk::Utilities::System::ISystemHelper* restartService)
{
    Vesk::Utilities::Resources::ResourceHelper resources(instance);
    Vesk::Utilities::FileSystem::FileSystemHelper fileSystem;
    Stage1Factory factory(settings, instance, fileSystem, resources, safeLauncher, BuiltInResourceConfiguration(),
                          restartService);
    factory.Run();
}

}  // namespace S1
