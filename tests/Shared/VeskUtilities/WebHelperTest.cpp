#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "Shared/VeskUtilities/IRegistryHelper.h"
#include "Shared/VeskUtilities/WebHelper.h"
#include "Utilities/Module.h"

using Vesk::Utilities::Registry::IRegistryHelper;
using Vesk::Utilities::Registry::RegistryValue;
using Vesk::Utilities::Web::WebHelper;
using ::testing::_;
using ::testing::Return;

namespace {

class MockRegistry : public IRegistryHelper {
public:
    MOCK_METHOD(bool, CreateKey, (const std::wstring&, bool, bool, HKEY), (override));
    MOCK_METHOD(bool, CreateSharedKey, (const std::wstring&), (override));
    MOCK_METHOD(bool, DeleteKey, (const std::wstring&, const std::wstring&, bool, HKEY), (override));
    MOCK_METHOD(bool, DeleteValue, (const std::wstring&, const std::wstring&, bool), (override));
    MOCK_METHOD(std::optional<DWORD>, ReadDword, (const std::wstring&, const std::wstring&, bool, HKEY), (override));
    MOCK_METHOD(bool, WriteDword, (const std::wstring&, const std::wstring&, DWORD, bool, HKEY), (override));
    MOCK_METHOD(std::optional<std::wstring>, ReadString, (const std::wstring&, const std::wstring&, bool, HKEY),
                (override));
    MOCK_METHOD(bool, WriteString, (const std::wstring&, const std::wstring&, const std::wstring&, bool, HKEY),
                (override));
    MOCK_METHOD(std::optional<std::vector<std::wstring>>, ReadMultiString,
                (const std::wstring&, const std::wstring&, HKEY), (override));
    MOCK_METHOD(bool, WriteMultiString, (const std::wstring&, const std::wstring&, const std::vector<std::wstring>&, HKEY),
                (override));
    MOCK_METHOD(bool, AddToMultiString, (const std::wstring&, const std::wstring&, const std::wstring&, HKEY),
                (override));
    MOCK_METHOD(bool, MultiStringContains, (const std::wstring&, const std::wstring&, const std::wstring&, HKEY),
                (override));
    MOCK_METHOD(RegistryValue, ReadValue, (const std::wstring&, const std::wstring&, bool, HKEY), (override));
    MOCK_METHOD(std::vector<std::wstring>, ValueNames, (const std::wstring&, HKEY), (override));
    MOCK_METHOD(std::vector<std::wstring>, SubkeyNames, (const std::wstring&, HKEY), (override));
};

// Stands in for the shell: a test must never start the browser.
struct FakeShell {
    int calls = 0;
    HWND window = reinterpret_cast<HWND>(1);
    std::wstring operation;
    std::wstring file;
    bool noParameters = false;
    bool noFolder = false;
    int show = -1;
    HRESULT apartmentDuringCall = E_FAIL;
    INT_PTR result = 42;

    WebHelper::ShellExecuteFunction Function()
    {
        return [this](HWND w, const wchar_t* o, const wchar_t* f, const wchar_t* p, const wchar_t* d, int s) {
            ++calls;
            window = w;
            operation = o ? o : L"(null)";
            file = f ? f : L"(null)";
            noParameters = p == nullptr;
            noFolder = d == nullptr;
            show = s;
            // S_FALSE: the thread is in a single-threaded apartment already.
            apartmentDuringCall = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            if (SUCCEEDED(apartmentDuringCall))
                CoUninitialize();
            return reinterpret_cast<HINSTANCE>(result);
        };
    }
};

const wchar_t kEmulationKey[] = L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

TEST(WebHelperBrowserEmulation, WritesTheModeForThisExecutableForTheCurrentUser)
{
    struct Case {
        bool flag;
        DWORD mode;
        bool written;
    };
    for (const Case& c : {Case{true, 11001, true}, Case{false, 11000, true}, Case{true, 11001, false}}) {
        auto registry = std::make_shared<MockRegistry>();
        EXPECT_CALL(*registry, WriteDword(std::wstring(kEmulationKey), utilities::Module::ModuleFileName(), c.mode,
                                          false, HKEY_CURRENT_USER))
            .WillOnce(Return(c.written));
        EXPECT_EQ(WebHelper(registry).SetBrowserEmulation(c.flag), c.written);
    }
}

TEST(WebHelperOpenUrl, OpensTheAddressInAnApartmentAndReportsTheShellsAnswer)
{
    struct Case {
        INT_PTR shellResult;
        bool opened;
    };
    for (const Case& c : {Case{42, true}, Case{33, true}, Case{32, false}, Case{SE_ERR_NOASSOC, false}, Case{0, false}}) {
        SCOPED_TRACE(c.shellResult);
        FakeShell shell;
        shell.result = c.shellResult;
        bool opened = !c.opened;
        // A thread of its own, so that no apartment of another test is in the way.
        std::thread([&] {
            opened = WebHelper(std::make_shared<MockRegistry>(), shell.Function()).OpenUrl(L"https://halvex.com/a?b=c");
        }).join();
        EXPECT_EQ(opened, c.opened);
        EXPECT_EQ(shell.calls, 1);
        EXPECT_EQ(shell.window, nullptr);
        EXPECT_EQ(shell.operation, L"OPEN");
        EXPECT_EQ(shell.file, L"https://halvex.com/a?b=c");
        EXPECT_TRUE(shell.noParameters);
        EXPECT_TRUE(shell.noFolder);
        EXPECT_EQ(shell.show, SW_SHOWDEFAULT);
        EXPECT_EQ(shell.apartmentDuringCall, S_FALSE);
    }
}

// A thread's apartment can change kind only once every initialisation was balanced.
HRESULT OpenUrlThenAskForAnotherApartment(bool initialisedBefore)
{
    HRESULT afterwards = E_FAIL;
    std::thread([&] {
        if (initialisedBefore) {
            ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        }
        FakeShell shell;
        WebHelper(std::make_shared<MockRegistry>(), shell.Function()).OpenUrl(L"https://halvex.com");
        if (initialisedBefore)
            CoUninitialize();
        afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(afterwards))
            CoUninitialize();
    }).join();
    return afterwards;
}

TEST(WebHelperOpenUrl, BalancesEveryInitialisation)
{
    EXPECT_EQ(OpenUrlThenAskForAnotherApartment(false), S_OK);
    // There OpenUrl's own initialisation answers S_FALSE, and still needs its CoUninitialize.
    EXPECT_EQ(OpenUrlThenAskForAnotherApartment(true), S_OK);
}

}  // namespace
