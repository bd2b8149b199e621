#include "Installer/EntryPoint.h"

#include <exception>
#include <memory>
#include <stdexcept>

#include "Resources/Version.h"
#include "Utilities/LogStatement.h"
#include "Utilities/Stage1Logger.h"

namespace S1 {

static_assert(std::string_view(HALVEX_STAGE1_VERSION_TEXT) == kStage1Version,
              "the version resource and the stage-1 version must agree");

namespace {

// The launcher path is the file whose stamped settings the run reads.
void parseStage1Settings(const ISafeLauncher& safeLauncher)
{
    safeLauncher.GetLauncherPath();
}

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

    const CustomLoggerScope customLogger;
    try {
        parseStage1Settings(services.safeLauncher);
        LOG_INFO << "Vesk Stage 1 version: " << kStage1Version;
        services.run(instance);
        return 0;
    } catch (const std::exception& e) {
        LOG_ERROR << "Exception: " << e.what();
        return 1;
    }
}

void RunStage1(HINSTANCE)
{
    throw std::runtime_error("The install run is not available in this build");
}

}  // namespace S1
