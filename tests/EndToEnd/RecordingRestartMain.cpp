// The installer with a restart service that writes down each restart it is asked for instead of
// restarting: under Wine a real restart ends every process of the prefix. The file that
// HALVEX_RECORDED_RESTART names gets one line per request.
#include <windows.h>

#include <vector>

#include "Installer/EntryPoint.h"
#include "Installer/SafeLauncherHelper.h"
#include "Installer/StartupChecks.h"

namespace {

class RecordingRestart : public Vesk::Utilities::System::ISystemHelper {
public:
    bool Restart() override
    {
        std::vector<wchar_t> path(32768);
        const DWORD length =
            GetEnvironmentVariableW(L"HALVEX_RECORDED_RESTART", path.data(), static_cast<DWORD>(path.size()));
        if (length == 0 || length >= path.size())
            return false;
        const HANDLE file = CreateFileW(path.data(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        const bool ok = WriteFile(file, "restart\n", 8, &written, nullptr) && written == 8;
        CloseHandle(file);
        return ok;
    }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    S1::StartupChecks checks;
    S1::StartupReporter reporter;
    S1::SafeLauncherHelper safeLauncher;
    RecordingRestart restart;
    S1::EntryPointServices services{checks, reporter, safeLauncher,
                                    [&restart](HINSTANCE instance, const Stage1Settings& settings,
                                               const S1::ISafeLauncher& launcher) {
                                        S1::RunStage1(instance, settings, launcher, &restart);
                                    }};
    return S1::RunEntryPoint(instance, GetCommandLineW(), services);
}
