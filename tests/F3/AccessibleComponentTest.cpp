#include <windows.h>

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include <gtest/gtest.h>

#include "F3/ComObject.h"
#include "F3/DpiScale.h"
#include "support/AccessibilityTestComponents.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

using namespace Accessibility;

// A provider for which there is never memory.
class UnmadeProvider final : public AccessibilityProvider<> {
public:
    static void* operator new(std::size_t, const std::nothrow_t&) noexcept { return nullptr; }
    static void operator delete(void* memory) { ::operator delete(memory); }

protected:
    int DefaultControlType() const override { return UIA_PaneControlTypeId; }
};

class UnseenForm : public test::Accessible<UnmadeProvider, IContainerAccessibilityExtension> {
public:
    using Accessible::Accessible;
    void CreateParams(CreateParamsRecord& params) override
    {
        Accessible::CreateParams(params);
        params.style |= WS_POPUP;
    }
};

IRawElementProviderSimple* SimpleOf(IUnknown* provider)
{
    IRawElementProviderSimple* simple = nullptr;
    EXPECT_EQ(provider->QueryInterface(__uuidof(IRawElementProviderSimple), reinterpret_cast<void**>(&simple)), S_OK);
    return simple;
}

// The id as the system may pass it in a 64-bit lParam: sign-extended or not.
const LPARAM kRootObjectIds[] = {static_cast<LPARAM>(static_cast<LONG>(UiaRootObjectId)),
                                 static_cast<LPARAM>(static_cast<DWORD>(UiaRootObjectId))};

class AccessibleComponentTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
        objectsBefore = ComObjectCount();
    }
    void TearDown() override { EXPECT_EQ(ComObjectCount(), objectsBefore) << "a provider was left alive"; }

    template <typename Made = test::TestForm>
    std::shared_ptr<Made> MakeWindow()
    {
        auto made = std::make_shared<Made>(L"Halvex Vesk Installer");
        made->SetInstance(GetModuleHandleW(nullptr));
        made->SetBackgroundColour(Gdiplus::Color(255, 255, 255, 255));
        made->Create();
        EXPECT_NE(made->GetHandle(), nullptr);
        return made;
    }

    long objectsBefore = 0;
};

TEST_F(AccessibleComponentTest, TheProviderLivesWithTheWindow)
{
    auto form = std::make_shared<test::TestForm>();
    form->SetInstance(GetModuleHandleW(nullptr));
    EXPECT_EQ(form->GetProvider(), nullptr);
    form->Create();
    ASSERT_NE(form->GetProvider(), nullptr);
    EXPECT_EQ(ComObjectCount(), objectsBefore + 1);
    DestroyWindow(form->GetHandle());
    EXPECT_EQ(form->GetProvider(), nullptr);
    EXPECT_EQ(ComObjectCount(), objectsBefore);
}

TEST_F(AccessibleComponentTest, TheProviderAnswersForItsComponent)
{
    auto form = MakeWindow();
    IRawElementProviderSimple* simple = SimpleOf(form->GetProvider());
    VARIANT name;
    VariantInit(&name);
    ASSERT_EQ(simple->GetPropertyValue(UIA_NamePropertyId, &name), S_OK);
    ASSERT_EQ(name.vt, VT_BSTR);
    EXPECT_STREQ(name.bstrVal, L"Halvex Vesk Installer");
    VariantClear(&name);
    IWindowProvider* window = nullptr;
    ASSERT_EQ(simple->QueryInterface(__uuidof(IWindowProvider), reinterpret_cast<void**>(&window)), S_OK);
    EXPECT_EQ(window->Close(), S_OK);
    EXPECT_EQ(form->closes, 1);
    window->Release();
    simple->Release();
}

TEST_F(AccessibleComponentTest, WmGetObjectForTheRootObjectHandsOutTheProvider)
{
    test::FakeUiaCore uia;
    auto form = MakeWindow();
    IRawElementProviderSimple* simple = SimpleOf(form->GetProvider());
    for (const LPARAM objectId : kRootObjectIds) {
        test::Uia().returned = 0;
        EXPECT_EQ(SendMessageW(form->GetHandle(), WM_GETOBJECT, 7, objectId), 77);
        EXPECT_EQ(test::Uia().returned, 1);
        EXPECT_EQ(test::Uia().returnedWindow, form->GetHandle());
        EXPECT_EQ(test::Uia().returnedWParam, 7u);
        EXPECT_EQ(test::Uia().returnedLParam, objectId);
        EXPECT_EQ(test::Uia().returnedProvider, simple);
    }
    simple->Release();
}

// Once a provider was handed out, the core is told when the window goes, through either way of
// ending it; a window that handed nothing out tells nothing.
TEST_F(AccessibleComponentTest, AWindowThatHandedOutItsProviderTellsTheCoreItIsGone)
{
    test::FakeUiaCore uia;
    for (const bool destroyComponent : {false, true}) {
        test::Uia().returned = 0;
        auto form = MakeWindow();
        const HWND window = form->GetHandle();
        SendMessageW(window, WM_GETOBJECT, 0, kRootObjectIds[0]);
        ASSERT_EQ(test::Uia().returned, 1);
        if (destroyComponent)
            form.reset();
        else
            DestroyWindow(window);
        EXPECT_EQ(test::Uia().returned, 2) << destroyComponent;
        EXPECT_EQ(test::Uia().returnedWindow, window);
        EXPECT_EQ(test::Uia().returnedWParam, 0u);
        EXPECT_EQ(test::Uia().returnedLParam, 0);
        EXPECT_EQ(test::Uia().returnedProvider, nullptr);
    }
    test::Uia().returned = 0;
    DestroyWindow(MakeWindow()->GetHandle());
    EXPECT_EQ(test::Uia().returned, 0);
}

TEST_F(AccessibleComponentTest, WmGetObjectForOtherObjectsGoesToTheBase)
{
    test::FakeUiaCore uia;
    auto form = MakeWindow();
    for (const LONG objectId : {static_cast<LONG>(OBJID_CLIENT), static_cast<LONG>(OBJID_WINDOW), -24L, 1L})
        SendMessageW(form->GetHandle(), WM_GETOBJECT, 0, objectId);
    EXPECT_EQ(test::Uia().returned, 0);
}

TEST_F(AccessibleComponentTest, WithoutTheCoreWmGetObjectAnswersZero)
{
    UiaCore::SetForTesting(UiaFunctions{});
    auto form = MakeWindow();
    EXPECT_EQ(SendMessageW(form->GetHandle(), WM_GETOBJECT, 0, kRootObjectIds[0]), 0);
    // No client can listen either, and no host provider is to be had.
    form->RaiseAutomationEvent(UIA_AutomationFocusChangedEventId);
    IRawElementProviderSimple* simple = SimpleOf(form->GetProvider());
    IRawElementProviderSimple* host = reinterpret_cast<IRawElementProviderSimple*>(1);
    EXPECT_EQ(simple->get_HostRawElementProvider(&host), S_OK);
    EXPECT_EQ(host, nullptr);
    simple->Release();
    UiaCore::ResetForTesting();
}

TEST_F(AccessibleComponentTest, TheHostProviderIsTheCoresForTheWindow)
{
    test::FakeUiaCore uia;
    auto form = MakeWindow();
    auto other = std::make_shared<test::TestButton>();
    test::Attached<ButtonAccessibilityProvider> systemsOwn(other);
    test::Uia().host = systemsOwn.Simple();

    IRawElementProviderSimple* simple = SimpleOf(form->GetProvider());
    IRawElementProviderSimple* host = nullptr;
    EXPECT_EQ(simple->get_HostRawElementProvider(&host), S_OK);
    EXPECT_EQ(host, systemsOwn.Simple());
    EXPECT_EQ(test::Uia().hostWindow, form->GetHandle());
    if (host)
        host->Release();
    simple->Release();
}

TEST_F(AccessibleComponentTest, EventsAreRaisedOnlyWhileClientsListen)
{
    test::FakeUiaCore uia;
    auto form = MakeWindow();
    IRawElementProviderSimple* simple = SimpleOf(form->GetProvider());
    test::Uia().events.clear();

    form->RaiseAutomationEvent(UIA_AutomationFocusChangedEventId);
    form->SetFocusable(true);
    EXPECT_TRUE(test::Uia().events.empty());

    test::Uia().listening = true;
    form->RaiseAutomationEvent(UIA_AutomationFocusChangedEventId);
    // The base raises its own events through the same path.
    form->SetFocusable(false);
    const std::vector<std::pair<IRawElementProviderSimple*, int>> expected = {
        {simple, UIA_AutomationFocusChangedEventId}, {simple, UIA_ChangesEventId}};
    EXPECT_EQ(test::Uia().events, expected);
    simple->Release();
}

TEST_F(AccessibleComponentTest, AfterTheWindowIsDestroyedNothingIsRaisedAndClientsSeeItGone)
{
    test::FakeUiaCore uia;
    test::Uia().listening = true;
    auto form = MakeWindow();
    // A client that keeps the provider past the window.
    IRawElementProviderSimple* kept = SimpleOf(form->GetProvider());
    DestroyWindow(form->GetHandle());
    EXPECT_EQ(form->GetProvider(), nullptr);

    test::Uia().events.clear();
    form->RaiseAutomationEvent(UIA_AutomationFocusChangedEventId);
    EXPECT_TRUE(test::Uia().events.empty());

    VARIANT name;
    VariantInit(&name);
    EXPECT_EQ(kept->GetPropertyValue(UIA_NamePropertyId, &name), S_OK);
    EXPECT_EQ(name.vt, VT_EMPTY);
    IWindowProvider* window = nullptr;
    ASSERT_EQ(kept->QueryInterface(__uuidof(IWindowProvider), reinterpret_cast<void**>(&window)), S_OK);
    WindowInteractionState state = WindowInteractionState_Running;
    EXPECT_EQ(window->get_WindowInteractionState(&state), S_OK);
    EXPECT_EQ(state, WindowInteractionState_Closing);
    EXPECT_EQ(window->Close(), S_OK);
    EXPECT_EQ(form->closes, 0);
    window->Release();
    EXPECT_EQ(kept->Release(), 0u);
}

TEST_F(AccessibleComponentTest, DestroyingTheComponentWithItsWindowDisconnectsTheProvider)
{
    auto form = MakeWindow();
    IRawElementProviderSimple* kept = SimpleOf(form->GetProvider());
    const HWND window = form->GetHandle();
    form.reset();
    EXPECT_FALSE(IsWindow(window));
    VARIANT enabled;
    VariantInit(&enabled);
    EXPECT_EQ(kept->GetPropertyValue(UIA_IsEnabledPropertyId, &enabled), S_OK);
    EXPECT_EQ(enabled.vt, VT_EMPTY);
    EXPECT_EQ(kept->Release(), 0u);
}

TEST_F(AccessibleComponentTest, WithoutMemoryForAProviderTheComponentIsNotSeen)
{
    test::FakeUiaCore uia;
    test::Uia().listening = true;
    auto unseen = MakeWindow<UnseenForm>();
    EXPECT_EQ(unseen->GetProvider(), nullptr);
    EXPECT_EQ(ComObjectCount(), objectsBefore);
    SendMessageW(unseen->GetHandle(), WM_GETOBJECT, 0, kRootObjectIds[0]);
    EXPECT_EQ(test::Uia().returned, 0) << "handled by the base";
    unseen->RaiseAutomationEvent(UIA_ChangesEventId);
    EXPECT_TRUE(test::Uia().events.empty());
}

TEST_F(AccessibleComponentTest, KeyboardAnswersAreTheComponentsFocusState)
{
    auto button = std::make_shared<test::TestButton>();
    EXPECT_FALSE(button->IsKeyboardFocusable());
    EXPECT_FALSE(button->HasKeyboardFocus());
    button->SetFocusable(true);
    EXPECT_TRUE(button->IsKeyboardFocusable());
    button->OnFocusChanged(true);
    EXPECT_TRUE(button->HasKeyboardFocus());
    button->SetVisible(false);
    EXPECT_FALSE(button->IsKeyboardFocusable());
}

TEST_F(AccessibleComponentTest, TheSystemCoreGivesTheHostProvider)
{
    UiaCore::ResetForTesting();
    if (!UiaCore::Functions().hostProviderFromHwnd)
        GTEST_SKIP() << "no UI Automation core";
    auto form = MakeWindow();
    IRawElementProviderSimple* simple = SimpleOf(form->GetProvider());
    IRawElementProviderSimple* host = nullptr;
    EXPECT_EQ(simple->get_HostRawElementProvider(&host), S_OK);
    EXPECT_NE(host, nullptr) << "the core has a provider for every window";
    if (host)
        host->Release();
    simple->Release();
}

}  // namespace
}  // namespace F3
