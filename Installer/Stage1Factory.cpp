#include "Installer/Stage1Factory.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include <objbase.h>

#include "F3/AnimationFactory.h"
#include "F3/EmbeddedLocalisationResourceLoader.h"
#include "F3/EmbeddedThemeResourceLoader.h"
#include "F3/FontManager.h"
#include "F3/Gdiplus.h"
#include "F3/LocalisationManager.h"
#include "F3/ThemeManager.h"
#include "Installer/KelmClient.h"
#include "Installer/KelmController.h"
#include "Installer/SafeLauncherHelper.h"
#include "Installer/SetupController.h"
#include "Installer/StampedSettings.h"
#include "Resources/ResourceIds.h"
#include "Shared/VeskHttpClient/HttpClient.h"
#include "Shared/VeskUtilities/LocaleHelper.h"
#include "Shared/VeskUtilities/RegistryHelper.h"
#include "Shared/VeskUtilities/SingleInstanceEvent.h"
#include "Shared/VeskUtilities/SystemHelper.h"
#include "Shared/VeskUtilities/WebHelper.h"
#include "Utilities/FatalError.h"
#include "Utilities/FileSystem.h"
#include "Utilities/LogStatement.h"
#include "Utilities/Raii.h"
#include "Utilities/TimeUtil.h"
#include "Stage1UI/Stage1Window.h"

namespace S1 {

const wchar_t* const kResumableFileName = L"HalvexInstall.exe";
const wchar_t* const kSingleInstanceEventName = L"halvex_vesk_thininstall_stage1";

namespace {

const ResourceConfiguration kBuiltInResources{
    IDR_MANIFEST_ROOT_CERTIFICATE,
    IDR_MANIFEST_ROOT_CRL,
    {{L"en-us", 5001}, {L"ja-jp", 5002}, {L"fr-fr", 5003}, {L"de-de", 5004}, {L"it-it", 5005}, {L"es-es", 5006}},
    L"en-us",
    {3001, 3002},
    {{L"theme", 5101}},
    L"theme",
};

bool StartWithCreateProcess(const std::wstring& application, const std::wstring& commandLine,
                            const std::wstring& environment)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    std::wstring writable = commandLine;
    std::wstring block = environment;
    if (!CreateProcessW(application.c_str(), writable.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                        block.data(), nullptr, &startup, &process))
        return false;
    const HandleGuard processGuard(process.hProcess);
    const HandleGuard threadGuard(process.hThread);
    return true;
}

std::wstring ProcessEnvironment(const std::wstring& name, const std::wstring& value)
{
    wchar_t* strings = GetEnvironmentStringsW();
    if (!strings)
        throw std::runtime_error("GetEnvironmentStringsW failed: " + std::to_string(GetLastError()));
    std::wstring block;
    try {
        block = EnvironmentBlockWith(strings, name, value);
    } catch (...) {
        FreeEnvironmentStringsW(strings);
        throw;
    }
    FreeEnvironmentStringsW(strings);
    return block;
}

bool SameVariableName(const std::wstring& entry, const std::wstring& name)
{
    if (entry.size() <= name.size() || entry[name.size()] != L'=')
        return false;
    return CompareStringOrdinal(entry.c_str(), static_cast<int>(name.size()), name.c_str(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool StartFirstAttempt(SetupController& controller)
{
    const bool resume = controller.HasResumeConfig();
    controller.Start();
    return resume;
}

const ResourceConfiguration& BuiltInResourceConfiguration()
{
    return kBuiltInResources;
}

std::wstring ArgumentsAfterProgramName(const std::wstring& commandLine)
{
    // The program's name ends at the next quote when it starts with one, else at white space:
    // the rule by which the system takes the first argument.
    std::size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const std::size_t closing = commandLine.find(L'"', 1);
        at = closing == std::wstring::npos ? commandLine.size() : closing + 1;
    } else {
        at = commandLine.find_first_of(L" \t");
        if (at == std::wstring::npos)
            at = commandLine.size();
    }
    const std::size_t arguments = commandLine.find_first_not_of(L" \t", at);
    return arguments == std::wstring::npos ? std::wstring() : commandLine.substr(arguments);
}

std::wstring EnvironmentBlockWith(const wchar_t* environmentStrings, const std::wstring& name,
                                  const std::wstring& value)
{
    std::wstring block;
    bool replaced = false;
    for (const wchar_t* entry = environmentStrings; entry && *entry; entry += wcslen(entry) + 1) {
        const std::wstring text(entry);
        if (SameVariableName(text, name)) {
            if (replaced)
                continue;
            block += name + L"=" + value;
            replaced = true;
        } else {
            block += text;
        }
        block += L'\0';
    }
    if (!replaced) {
        block += name + L"=" + value;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

Stage1Factory::Stage1Factory(const Stage1Settings& settings, HINSTANCE instance,
                             Vesk::Utilities::FileSystem::IFileSystemHelper& fileSystem,
                             Vesk::Utilities::Resources::IResourceHelper& resources, const ISafeLauncher& safeLauncher,
                             ResourceConfiguration configuration,
                             Vesk::Utilities::System::ISystemHelper* restartService)
    : Stage1Factory(settings, instance, fileSystem, resources, safeLauncher, std::move(configuration), restartService,
                    &StartWithCreateProcess, GetCommandLineW())
{
}

Stage1Factory::Stage1Factory(const Stage1Settings& settings, HINSTANCE instance,
                             Vesk::Utilities::FileSystem::IFileSystemHelper& fileSystem,
                             Vesk::Utilities::Resources::IResourceHelper& resources, const ISafeLauncher& safeLauncher,
                             ResourceConfiguration configuration,
                             Vesk::Utilities::System::ISystemHelper* restartService, ProcessStarter startProcess,
                             std::wstring commandLine)
    : settings(settings), instance(instance), fileSystem(fileSystem), resources(resources),
      safeLauncher(safeLauncher), configuration(std::move(configuration)), restartService(restartService),
      startProcess(std::move(startProcess)), commandLine(std::move(commandLine))
{
}

bool Stage1Factory::RelaunchAsClone()
{
    const std::wstring resumable = (std::filesystem::path(settings.workingFolder) / kResumableFileName).wstring();
    const std::wstring launcher = safeLauncher.GetLauncherPath();
    if (resumable != launcher)
        return false;

    const auto stamp = utilities::as_utc_yyyyMMdd_HHmmss(utilities::now_as_filetime());
    std::wstring target = utilities::GetTempFolder() + L"HalvexInstall_";
    target.append(stamp.begin(), stamp.end());
    target += L".exe";

    bool copied = false;
    try {
        copied = fileSystem.CopyFileTo(launcher, target);
    } catch (const std::exception&) {
    }
    if (!copied) {
        LOG_ERROR << "Failed to copy binary to temp location for launch";
        return false;
    }

    // The copy is what its launcher variable must name, or it would find itself to be the resumable
    // file and relaunch again. It keeps this run's options; its path is quoted, since a folder with
    // a space would otherwise start another program.
    std::wstring copyCommandLine = L"\"" + target + L"\"";
    const std::wstring arguments = ArgumentsAfterProgramName(commandLine);
    if (!arguments.empty())
        copyCommandLine += L" " + arguments;
    if (!startProcess(target, copyCommandLine, ProcessEnvironment(SafeLauncherHelper::kVariable, target))) {
        LOG_ERROR << "CreateProcess failed, err=" << GetLastError();
        return false;
    }
    return true;
}

VeskOptions Stage1Factory::CreateVeskOptions()
{
    const std::optional<std::wstring> region = ReadVeskRegion(commandLine);
    return VeskOptions(parseStampBlob(readStampBlob(safeLauncher.GetLauncherPath())), region);
}

RootTrust Stage1Factory::LoadRootCertificates()
{
    std::optional<std::string> certificate = resources.Load(configuration.rootCertificateId);
    std::optional<std::string> crl = resources.Load(configuration.revocationListId);
    if (!certificate || !crl)
        throw Setup::FatalError("Could not find root certificate in resources", Setup::FatalError::ExtractFailure);
    return RootTrust{std::move(*certificate), std::move(*crl)};
}

void Stage1Factory::Run()
{
    if (RelaunchAsClone()) {
        LOG_INFO << "Clone created, exiting this";
        return;
    }
    const std::optional<HANDLE> event = Vesk::Utilities::CreateSingleInstanceEvent(kSingleInstanceEventName);
    if (!event) {
        LOG_ERROR << "Stage 1 already running";
        return;
    }
    // Declared first, so closed last: another stage 1 stays out until everything below has ended.
    const HandleGuard eventGuard(*event);

    Stage1Settings runSettings = settings;
    const VeskOptions options = CreateVeskOptions();
    Vesk::Http::HttpClientFactory httpClientFactory;
    const auto registry = std::make_shared<Vesk::Utilities::Registry::RegistryHelper>();
    Vesk::Utilities::Web::WebHelper web(registry);
    Vesk::Utilities::System::SystemHelper machineRestart;
    Vesk::Utilities::System::ISystemHelper& system = restartService ? *restartService : machineRestart;
    KelmClient kelmClient(httpClientFactory, options, runSettings);
    KelmController kelmController(kelmClient);
    const RootTrust rootTrust = LoadRootCertificates();
    Stage1Setup setup(rootTrust);
    SetupController controller(runSettings, options, setup, safeLauncher, fileSystem, web, system, kelmClient,
                               kelmController);

    const bool resume = StartFirstAttempt(controller);
    if (runSettings.quiet || resume) {
        controller.WaitAll();
        const ErrorState state = controller.errorState;
        if (!state.errorCode)
            return;
        if (runSettings.quiet)
            throw Setup::FatalError("Stage 2 fatal error", *state.errorCode);
        // A failed resume is shown on the window's error page.
    }
    RunWindow(controller, *event);
}

namespace {

// COM for the window's thread, undone only when it was done here.
class ComApartment {
public:
    ComApartment() : result(CoInitializeEx(nullptr, COINIT_MULTITHREADED))
    {
        // Not checked: the process may have set its security already.
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                             nullptr, EOAC_DYNAMIC_CLOAKING, nullptr);
    }
    ~ComApartment()
    {
        if (SUCCEEDED(result))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result;
};

class GdiplusSession {
public:
    GdiplusSession()
    {
        const Gdiplus::GdiplusStartupInput input;
        started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession()
    {
        if (started)
            Gdiplus::GdiplusShutdown(token);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

private:
    ULONG_PTR token = 0;
    bool started = false;
};

}  // namespace

void Stage1Factory::RunWindow(SetupController& controller, HANDLE singleInstanceEvent)
{
    const ComApartment com;
    const GdiplusSession gdiplus;
    F3::AnimationFactory animationFactory;
    Vesk::Utilities::Locale::LocaleHelper locale;
    F3::EmbeddedLocalisationResourceLoader localisationLoader(&resources, configuration.localisations);
    const auto localisation =
        std::make_shared<F3::LocalisationManager>(&locale, &localisationLoader, configuration.defaultLanguage);
    F3::FontManager fonts(configuration.fonts);
    F3::EmbeddedThemeResourceLoader themeLoader(&resources, configuration.themes);
    const auto theme = std::make_shared<F3::ThemeManager>(&fonts, &themeLoader, localisation, configuration.themeName);
    auto window = std::make_shared<UI::Stage1Window>(UI::ControllerInterfaces::Of(controller));
    const std::shared_ptr<F3::IAnimationManager> animation = animationFactory.Create();
    const HANDLE waitHandle = singleInstanceEvent;
    window->Run(theme, animation, localisation, instance, &waitHandle);
    window.reset();
}

}  // namespace S1
