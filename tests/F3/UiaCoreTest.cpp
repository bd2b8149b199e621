#include <windows.h>

#include <gtest/gtest.h>

#include "F3/ComObject.h"
#include "F3/UiaCore.h"

MIDL_INTERFACE("6a1e8a52-1f0e-4a55-9a57-1d2c1b7e0a01") ITestFirst : public IUnknown {
    virtual int STDMETHODCALLTYPE First() = 0;
};
MIDL_INTERFACE("6a1e8a52-1f0e-4a55-9a57-1d2c1b7e0a02") ITestSecond : public IUnknown {
    virtual int STDMETHODCALLTYPE Second() = 0;
};
// GCC learns the IIDs here; MSVC from MIDL_INTERFACE.
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(ITestFirst, 0x6a1e8a52, 0x1f0e, 0x4a55, 0x9a, 0x57, 0x1d, 0x2c, 0x1b, 0x7e, 0x0a, 0x01)
__CRT_UUID_DECL(ITestSecond, 0x6a1e8a52, 0x1f0e, 0x4a55, 0x9a, 0x57, 0x1d, 0x2c, 0x1b, 0x7e, 0x0a, 0x02)
#endif

namespace F3 {
namespace {

using Accessibility::UiaCore;
using Accessibility::UiaFunctions;

class TwoFaced : public ComObject<ITestFirst, ITestSecond> {
public:
    int STDMETHODCALLTYPE First() override { return 1; }
    int STDMETHODCALLTYPE Second() override { return 2; }
};

TEST(ComObject, AnswersItsInterfacesAndDiesWithItsLastReference)
{
    const long before = ComObjectCount();
    auto* object = new TwoFaced;
    EXPECT_EQ(ComObjectCount(), before + 1);

    ITestSecond* second = nullptr;
    ASSERT_EQ(object->QueryInterface(__uuidof(ITestSecond), reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(second->Second(), 2);
    ITestFirst* first = nullptr;
    ASSERT_EQ(second->QueryInterface(__uuidof(ITestFirst), reinterpret_cast<void**>(&first)), S_OK);
    EXPECT_EQ(first->First(), 1);
    IUnknown* viaFirst = nullptr;
    IUnknown* viaSecond = nullptr;
    first->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&viaFirst));
    second->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&viaSecond));
    EXPECT_EQ(viaFirst, viaSecond) << "one identity whichever interface is asked";

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(__uuidof(IClassFactory), &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(object->QueryInterface(__uuidof(ITestFirst), nullptr), E_POINTER);

    // One reference from new, four from the queries.
    for (IUnknown* each : {static_cast<IUnknown*>(second), static_cast<IUnknown*>(first), viaFirst, viaSecond})
        each->Release();
    EXPECT_EQ(ComObjectCount(), before + 1);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(ComObjectCount(), before);
}

struct Recorded {
    HWND window = nullptr;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    IRawElementProviderSimple* provider = nullptr;
    int eventId = 0;
    bool listening = false;
};
Recorded recorded;

TEST(UiaCore, WithoutTheLibraryNoClientListensAndNothingIsHandedOut)
{
    UiaCore::SetForTesting(UiaFunctions{});
    EXPECT_FALSE(UiaCore::ClientsAreListening());
    IRawElementProviderSimple* host = reinterpret_cast<IRawElementProviderSimple*>(1);
    EXPECT_EQ(UiaCore::HostProviderFromHwnd(nullptr, &host), E_NOTIMPL);
    EXPECT_EQ(host, nullptr);
    EXPECT_EQ(UiaCore::ReturnRawElementProvider(nullptr, 0, -25, nullptr), 0);
    EXPECT_EQ(UiaCore::RaiseAutomationEvent(nullptr, 20005), E_NOTIMPL);
    UiaCore::ResetForTesting();
}

TEST(UiaCore, CallsGoToTheFunctionsInUse)
{
    UiaFunctions fakes;
    fakes.clientsAreListening = []() WINAPI -> BOOL { return recorded.listening; };
    fakes.returnRawElementProvider = [](HWND window, WPARAM wParam, LPARAM lParam,
                                        IRawElementProviderSimple* provider) WINAPI -> LRESULT {
        recorded.window = window;
        recorded.wParam = wParam;
        recorded.lParam = lParam;
        recorded.provider = provider;
        return 77;
    };
    fakes.raiseAutomationEvent = [](IRawElementProviderSimple* provider, int eventId) WINAPI -> HRESULT {
        recorded.provider = provider;
        recorded.eventId = eventId;
        return S_OK;
    };
    UiaCore::SetForTesting(fakes);
    recorded = {};
    EXPECT_FALSE(UiaCore::ClientsAreListening());
    recorded.listening = true;
    EXPECT_TRUE(UiaCore::ClientsAreListening());
    auto* provider = reinterpret_cast<IRawElementProviderSimple*>(0x1234);
    const HWND window = reinterpret_cast<HWND>(0x10);
    EXPECT_EQ(UiaCore::ReturnRawElementProvider(window, 3, -25, provider), 77);
    EXPECT_EQ(recorded.window, window);
    EXPECT_EQ(recorded.wParam, 3u);
    EXPECT_EQ(recorded.lParam, -25);
    EXPECT_EQ(recorded.provider, provider);
    EXPECT_EQ(UiaCore::RaiseAutomationEvent(provider, 20008), S_OK);
    EXPECT_EQ(recorded.eventId, 20008);
    UiaCore::ResetForTesting();
}

TEST(UiaCore, TheSystemLibraryHasAllFour)
{
    UiaCore::ResetForTesting();
    const UiaFunctions& system = UiaCore::Functions();
    EXPECT_NE(system.hostProviderFromHwnd, nullptr);
    EXPECT_NE(system.returnRawElementProvider, nullptr);
    EXPECT_NE(system.raiseAutomationEvent, nullptr);
    EXPECT_NE(system.clientsAreListening, nullptr);
}

}  // namespace
}  // namespace F3
