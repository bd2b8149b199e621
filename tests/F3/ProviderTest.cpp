#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "F3/ComObject.h"
#include "support/AccessibilityTestComponents.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

using namespace Accessibility;
using test::Attached;

// A property value that clears itself.
struct Property {
    Property() { VariantInit(&value); }
    ~Property() { VariantClear(&value); }
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;
    VARIANT value;
};

std::wstring Text(const VARIANT& value) { return value.vt == VT_BSTR ? std::wstring(value.bstrVal) : L"<not a string>"; }

// One provider of each kind on a fresh component of its kind, behind the provider's own face.
struct Kind {
    const char* name;
    // A component of the provider's kind, with the control type it asks for.
    std::function<std::shared_ptr<Component>(std::optional<int>)> makeComponent;
    std::function<IRawElementProviderSimple*(const std::shared_ptr<Component>&)> attach;
    int controlType;
    std::vector<IID> patternInterfaces;
    std::vector<PATTERNID> patterns;
};

template <typename Made>
std::shared_ptr<Component> Make(std::optional<int> controlType)
{
    auto component = std::make_shared<Made>();
    component->controlType = controlType;
    return component;
}

template <typename Provider>
IRawElementProviderSimple* AttachProvider(const std::shared_ptr<Component>& component)
{
    auto* provider = new Provider;
    provider->SetComponent(component);
    return provider;
}

std::vector<Kind> Kinds()
{
    return {
        {"window", Make<test::TestForm>, AttachProvider<WindowAccessibilityProvider>,
         UIA_WindowControlTypeId, {__uuidof(IWindowProvider)}, {UIA_WindowPatternId}},
        {"scrollable", Make<test::TestPage>,
         AttachProvider<ScrollableAccessibilityProvider>, UIA_PaneControlTypeId,
         {__uuidof(IScrollProvider), __uuidof(IScrollItemProvider)}, {UIA_ScrollItemPatternId}},
        {"title", Make<test::TestTitle>, AttachProvider<WindowTitleAccessibilityProvider>,
         UIA_TitleBarControlTypeId, {}, {}},
        {"container", Make<test::TestContainer>,
         AttachProvider<ContainerAccessibilityProvider>, UIA_PaneControlTypeId, {}, {}},
        {"button", Make<test::TestButton>, AttachProvider<ButtonAccessibilityProvider>,
         UIA_ButtonControlTypeId, {__uuidof(IInvokeProvider)}, {UIA_InvokePatternId}},
        {"progress bar", Make<test::TestProgressBar>,
         AttachProvider<ProgressBarAccessibilityProvider>, UIA_ProgressBarControlTypeId,
         {__uuidof(IRangeValueProvider)}, {UIA_RangeValuePatternId}},
    };
}

class ProviderTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        objectsBefore = ComObjectCount();
    }
    void TearDown() override { EXPECT_EQ(ComObjectCount(), objectsBefore) << "a provider was left alive"; }

    long objectsBefore = 0;
};

TEST_F(ProviderTest, SharedPropertiesAnswerTheComponentsOwnValues)
{
    auto button = std::make_shared<test::TestButton>(L"Try Again");
    button->helpText = L"Starts the download again";
    button->description = L"Second attempt";
    button->SetFocusable(true);
    button->OnFocusChanged(true);
    button->SetEnabled(false);
    Attached<ButtonAccessibilityProvider> provider(button);

    struct Case {
        PROPERTYID id;
        VARTYPE type;
        std::function<void(const VARIANT&)> check;
    };
    const std::vector<Case> cases = {
        {UIA_ControlTypePropertyId, VT_I4, [](const VARIANT& v) { EXPECT_EQ(v.lVal, UIA_ButtonControlTypeId); }},
        {UIA_NamePropertyId, VT_BSTR, [](const VARIANT& v) { EXPECT_EQ(Text(v), L"Try Again"); }},
        {UIA_HasKeyboardFocusPropertyId, VT_BOOL, [](const VARIANT& v) { EXPECT_EQ(v.boolVal, VARIANT_TRUE); }},
        {UIA_IsKeyboardFocusablePropertyId, VT_BOOL, [](const VARIANT& v) { EXPECT_EQ(v.boolVal, VARIANT_TRUE); }},
        {UIA_IsEnabledPropertyId, VT_BOOL, [](const VARIANT& v) { EXPECT_EQ(v.boolVal, VARIANT_FALSE); }},
        {UIA_HelpTextPropertyId, VT_BSTR, [](const VARIANT& v) { EXPECT_EQ(Text(v), L"Starts the download again"); }},
        {UIA_FullDescriptionPropertyId, VT_BSTR, [](const VARIANT& v) { EXPECT_EQ(Text(v), L"Second attempt"); }},
        {UIA_AutomationIdPropertyId, VT_EMPTY, [](const VARIANT&) {}},
        {UIA_IsContentElementPropertyId, VT_EMPTY, [](const VARIANT&) {}},
        {UIA_ValueValuePropertyId, VT_EMPTY, [](const VARIANT&) {}},
    };
    for (const Case& c : cases) {
        Property property;
        ASSERT_EQ(provider->GetPropertyValue(c.id, &property.value), S_OK) << c.id;
        ASSERT_EQ(property.value.vt, c.type) << c.id;
        c.check(property.value);
    }
}

TEST_F(ProviderTest, FocusAndEnabledAnswersFollowChanges)
{
    auto button = std::make_shared<test::TestButton>();
    Attached<ButtonAccessibilityProvider> provider(button);
    const auto answer = [&](PROPERTYID id) {
        Property property;
        EXPECT_EQ(provider->GetPropertyValue(id, &property.value), S_OK);
        EXPECT_EQ(property.value.vt, VT_BOOL);
        return property.value.boolVal == VARIANT_TRUE;
    };
    EXPECT_FALSE(answer(UIA_HasKeyboardFocusPropertyId));
    EXPECT_FALSE(answer(UIA_IsKeyboardFocusablePropertyId));
    EXPECT_TRUE(answer(UIA_IsEnabledPropertyId));
    button->SetFocusable(true);
    button->OnFocusChanged(true);
    button->SetEnabled(false);
    EXPECT_TRUE(answer(UIA_HasKeyboardFocusPropertyId));
    EXPECT_TRUE(answer(UIA_IsKeyboardFocusablePropertyId));
    EXPECT_FALSE(answer(UIA_IsEnabledPropertyId));
    // A hidden component is not focusable.
    button->SetVisible(false);
    EXPECT_FALSE(answer(UIA_IsKeyboardFocusablePropertyId));
}

TEST_F(ProviderTest, HelpTextAndDescriptionAreEmptyWhenTheComponentHasNone)
{
    auto button = std::make_shared<test::TestButton>();
    Attached<ButtonAccessibilityProvider> provider(button);
    for (PROPERTYID id : {UIA_HelpTextPropertyId, UIA_FullDescriptionPropertyId}) {
        Property property;
        EXPECT_EQ(provider->GetPropertyValue(id, &property.value), S_OK);
        EXPECT_EQ(property.value.vt, VT_EMPTY) << id;
    }
    // An empty text is still a text.
    button->helpText = L"";
    Property property;
    EXPECT_EQ(provider->GetPropertyValue(UIA_HelpTextPropertyId, &property.value), S_OK);
    EXPECT_EQ(property.value.vt, VT_BSTR);
    EXPECT_EQ(Text(property.value), L"");
}

TEST_F(ProviderTest, NameFallsBackToTheComponentsTypeName)
{
    auto container = std::make_shared<test::TestContainer>();
    container->AddTypeNames({"page-container"});
    Attached<ContainerAccessibilityProvider> provider(container);
    Property property;
    ASSERT_EQ(provider->GetPropertyValue(UIA_NamePropertyId, &property.value), S_OK);
    EXPECT_EQ(Text(property.value), L"page-container");
}

TEST_F(ProviderTest, ControlTypeIsTheProvidersUnlessTheComponentOverridesIt)
{
    constexpr int kTextControlType = 50020;
    for (const Kind& kind : Kinds()) {
        for (const bool overridden : {false, true}) {
            auto component = kind.makeComponent(overridden ? std::optional(kTextControlType) : std::nullopt);
            IRawElementProviderSimple* provider = kind.attach(component);
            Property property;
            EXPECT_EQ(provider->GetPropertyValue(UIA_ControlTypePropertyId, &property.value), S_OK);
            EXPECT_EQ(property.value.vt, VT_I4);
            const bool titleBar = kind.controlType == UIA_TitleBarControlTypeId;
            EXPECT_EQ(property.value.lVal, overridden && !titleBar ? kTextControlType : kind.controlType)
                << kind.name << (overridden ? " overridden" : "");
            EXPECT_EQ(provider->Release(), 0u) << kind.name;
        }
    }
}

TEST_F(ProviderTest, ProviderSpecificPropertiesComeBeforeTheSharedOnes)
{
    auto title = std::make_shared<test::TestTitle>();
    auto container = std::make_shared<test::TestContainer>();
    auto bar = std::make_shared<test::TestProgressBar>();
    bar->value = 42.5;
    auto button = std::make_shared<test::TestButton>();
    Attached<WindowTitleAccessibilityProvider> titleProvider(title);
    Attached<ContainerAccessibilityProvider> containerProvider(container);
    Attached<ProgressBarAccessibilityProvider> barProvider(bar);
    Attached<ButtonAccessibilityProvider> buttonProvider(button);

    struct Case {
        const char* what;
        IRawElementProviderSimple* provider;
        PROPERTYID id;
        VARTYPE type;
        double number;  // VT_BOOL: 0 false; VT_I4 and VT_R8: the value
    };
    const std::vector<Case> cases = {
        {"title content", titleProvider.Simple(), UIA_IsContentElementPropertyId, VT_BOOL, 0},
        {"title control", titleProvider.Simple(), UIA_IsControlElementPropertyId, VT_EMPTY, 0},
        {"container content", containerProvider.Simple(), UIA_IsContentElementPropertyId, VT_BOOL, 0},
        {"container control", containerProvider.Simple(), UIA_IsControlElementPropertyId, VT_BOOL, 0},
        {"bar range value", barProvider.Simple(), UIA_RangeValueValuePropertyId, VT_R8, 42.5},
        // The value pattern's property is not the range value's.
        {"bar value", barProvider.Simple(), UIA_ValueValuePropertyId, VT_EMPTY, 0},
        {"bar live setting polite", barProvider.Simple(), UIA_LiveSettingPropertyId, VT_I4, 1},
        {"bar main landmark", barProvider.Simple(), UIA_LandmarkTypePropertyId, VT_I4, 80002},
        {"button content", buttonProvider.Simple(), UIA_IsContentElementPropertyId, VT_EMPTY, 0},
        {"button live setting", buttonProvider.Simple(), UIA_LiveSettingPropertyId, VT_EMPTY, 0},
        {"button range value", buttonProvider.Simple(), UIA_RangeValueValuePropertyId, VT_EMPTY, 0},
    };
    for (const Case& c : cases) {
        Property property;
        ASSERT_EQ(c.provider->GetPropertyValue(c.id, &property.value), S_OK) << c.what;
        ASSERT_EQ(property.value.vt, c.type) << c.what;
        if (c.type == VT_BOOL) {
            EXPECT_EQ(property.value.boolVal, VARIANT_FALSE) << c.what;
        } else if (c.type == VT_I4) {
            EXPECT_EQ(property.value.lVal, static_cast<LONG>(c.number)) << c.what;
        } else if (c.type == VT_R8) {
            EXPECT_EQ(property.value.dblVal, c.number) << c.what;
        }
    }
}

TEST_F(ProviderTest, EachProviderAnswersExactlyItsInterfaces)
{
    const std::vector<IID> allPatterns = {__uuidof(IWindowProvider), __uuidof(IScrollProvider),
                                          __uuidof(IScrollItemProvider), __uuidof(IInvokeProvider),
                                          __uuidof(IRangeValueProvider)};
    for (const Kind& kind : Kinds()) {
        auto component = kind.makeComponent(std::nullopt);
        IRawElementProviderSimple* provider = kind.attach(component);
        IUnknown* identity = nullptr;
        ASSERT_EQ(provider->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&identity)), S_OK);

        std::vector<IID> answered = kind.patternInterfaces;
        answered.push_back(__uuidof(IRawElementProviderSimple));
        answered.push_back(__uuidof(IAccessibilityProvider));
        for (const IID& iid : answered) {
            IUnknown* face = nullptr;
            ASSERT_EQ(provider->QueryInterface(iid, reinterpret_cast<void**>(&face)), S_OK) << kind.name;
            IUnknown* back = nullptr;
            ASSERT_EQ(face->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&back)), S_OK);
            EXPECT_EQ(back, identity) << kind.name << ": one identity";
            back->Release();
            face->Release();
        }
        for (const IID& iid : allPatterns) {
            bool expected = false;
            for (const IID& mine : kind.patternInterfaces)
                expected = expected || IsEqualIID(iid, mine);
            if (expected)
                continue;
            void* face = reinterpret_cast<void*>(1);
            EXPECT_EQ(provider->QueryInterface(iid, &face), E_NOINTERFACE) << kind.name;
            EXPECT_EQ(face, nullptr);
        }
        void* other = nullptr;
        EXPECT_EQ(provider->QueryInterface(__uuidof(IRawElementProviderFragment), &other), E_NOINTERFACE);

        identity->Release();
        EXPECT_EQ(provider->Release(), 0u) << kind.name << ": every reference given back";
    }
}

TEST_F(ProviderTest, PatternProvidersAreTheProviderItselfForSupportedPatterns)
{
    const std::vector<PATTERNID> allPatterns = {UIA_InvokePatternId,     UIA_ValuePatternId,  UIA_RangeValuePatternId,
                                                UIA_ScrollPatternId,     UIA_WindowPatternId, UIA_ScrollItemPatternId,
                                                UIA_TogglePatternId};
    for (const Kind& kind : Kinds()) {
        auto component = kind.makeComponent(std::nullopt);
        IRawElementProviderSimple* provider = kind.attach(component);
        IUnknown* identity = nullptr;
        provider->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&identity));
        for (PATTERNID pattern : allPatterns) {
            bool supported = false;
            for (PATTERNID mine : kind.patterns)
                supported = supported || mine == pattern;
            IUnknown* answer = reinterpret_cast<IUnknown*>(1);
            ASSERT_EQ(provider->GetPatternProvider(pattern, &answer), S_OK) << kind.name << " " << pattern;
            if (supported) {
                EXPECT_EQ(answer, identity) << kind.name << " " << pattern;
                if (answer)
                    answer->Release();
            } else {
                EXPECT_EQ(answer, nullptr) << kind.name << " " << pattern;
            }
        }
        identity->Release();
        EXPECT_EQ(provider->Release(), 0u) << kind.name;
    }
}

TEST_F(ProviderTest, ScrollIsOfferedOnlyWhileThePageSaysItIsAvailable)
{
    auto page = std::make_shared<test::TestPage>();
    Attached<ScrollableAccessibilityProvider> provider(page);
    IUnknown* answer = reinterpret_cast<IUnknown*>(1);
    ASSERT_EQ(provider->GetPatternProvider(UIA_ScrollPatternId, &answer), S_OK);
    EXPECT_EQ(answer, nullptr);

    page->scrollPatternAvailable = true;
    ASSERT_EQ(provider->GetPatternProvider(UIA_ScrollPatternId, &answer), S_OK);
    ASSERT_NE(answer, nullptr);
    IScrollProvider* scroll = nullptr;
    ASSERT_EQ(answer->QueryInterface(__uuidof(IScrollProvider), reinterpret_cast<void**>(&scroll)), S_OK);
    scroll->Release();
    answer->Release();
}

TEST_F(ProviderTest, ProviderOptionsAreServerSideOverrideAndOwnFocus)
{
    for (const Kind& kind : Kinds()) {
        auto component = kind.makeComponent(std::nullopt);
        IRawElementProviderSimple* provider = kind.attach(component);
        ProviderOptions options{};
        ASSERT_EQ(provider->get_ProviderOptions(&options), S_OK);
        EXPECT_EQ(static_cast<int>(options), 26) << kind.name;
        provider->Release();
    }
}

TEST_F(ProviderTest, NullResultPointersAreRefused)
{
    auto button = std::make_shared<test::TestButton>();
    Attached<ButtonAccessibilityProvider> provider(button);
    EXPECT_EQ(provider->get_ProviderOptions(nullptr), E_POINTER);
    EXPECT_EQ(provider->GetPropertyValue(UIA_NamePropertyId, nullptr), E_POINTER);
    EXPECT_EQ(provider->GetPatternProvider(UIA_InvokePatternId, nullptr), E_POINTER);
    EXPECT_EQ(provider->get_HostRawElementProvider(nullptr), E_POINTER);
    auto bar = std::make_shared<test::TestProgressBar>();
    Attached<ProgressBarAccessibilityProvider> barProvider(bar);
    EXPECT_EQ(barProvider->get_Value(nullptr), E_POINTER);
}

TEST_F(ProviderTest, WithoutAWindowThereIsNoHostProvider)
{
    test::FakeUiaCore uia;
    auto button = std::make_shared<test::TestButton>();
    Attached<ButtonAccessibilityProvider> provider(button);
    IRawElementProviderSimple* host = reinterpret_cast<IRawElementProviderSimple*>(1);
    EXPECT_EQ(provider->get_HostRawElementProvider(&host), S_OK);
    EXPECT_EQ(host, nullptr);
    EXPECT_EQ(test::Uia().hostWindow, nullptr) << "the core is not asked for a window that does not exist";
}

// Every way a component can be gone from under its provider.
enum class Gone { Disconnected, Expired };

class GoneComponentTest : public ProviderTest, public testing::WithParamInterface<Gone> {
protected:
    // When the component only expires, nothing of it is left to look at afterwards.
    template <typename Made, typename Provider>
    void MakeGone(std::shared_ptr<Made>& component, Attached<Provider>& provider)
    {
        if (GetParam() == Gone::Disconnected)
            EXPECT_EQ(provider->Disconnect(), S_OK);
        else
            component.reset();
    }
};

TEST_P(GoneComponentTest, PropertiesHostAndPatternsAnswerEmptyAndSucceed)
{
    for (const Kind& kind : Kinds()) {
        auto component = kind.makeComponent(std::nullopt);
        IRawElementProviderSimple* provider = kind.attach(component);
        if (GetParam() == Gone::Disconnected) {
            IAccessibilityProvider* accessibility = nullptr;
            ASSERT_EQ(provider->QueryInterface(__uuidof(IAccessibilityProvider), reinterpret_cast<void**>(&accessibility)),
                      S_OK);
            EXPECT_EQ(accessibility->Disconnect(), S_OK);
            EXPECT_EQ(accessibility->Disconnect(), S_OK) << "twice is harmless";
            accessibility->Release();
        } else {
            component.reset();
        }
        for (PROPERTYID id : {UIA_ControlTypePropertyId, UIA_NamePropertyId, UIA_IsEnabledPropertyId,
                              UIA_IsContentElementPropertyId, UIA_RangeValueValuePropertyId}) {
            Property property;
            property.value.vt = VT_I4;
            EXPECT_EQ(provider->GetPropertyValue(id, &property.value), S_OK) << kind.name;
            EXPECT_EQ(property.value.vt, VT_EMPTY) << kind.name << " " << id;
        }
        IRawElementProviderSimple* host = reinterpret_cast<IRawElementProviderSimple*>(1);
        EXPECT_EQ(provider->get_HostRawElementProvider(&host), S_OK);
        EXPECT_EQ(host, nullptr);
        for (PATTERNID pattern : kind.patterns) {
            IUnknown* answer = reinterpret_cast<IUnknown*>(1);
            EXPECT_EQ(provider->GetPatternProvider(pattern, &answer), S_OK);
            EXPECT_EQ(answer, nullptr) << kind.name;
        }
        ProviderOptions options{};
        EXPECT_EQ(provider->get_ProviderOptions(&options), S_OK);
        EXPECT_EQ(provider->Release(), 0u) << kind.name;
    }
}

TEST_P(GoneComponentTest, WindowAnswersClosingAndDoesNothing)
{
    auto form = std::make_shared<test::TestForm>();
    form->minimised = true;
    form->topmost = true;
    Attached<WindowAccessibilityProvider> provider(form);
    MakeGone(form, provider);

    WindowInteractionState interaction = WindowInteractionState_Running;
    EXPECT_EQ(provider->get_WindowInteractionState(&interaction), S_OK);
    EXPECT_EQ(interaction, WindowInteractionState_Closing);
    WindowVisualState visual = WindowVisualState_Minimized;
    EXPECT_EQ(provider->get_WindowVisualState(&visual), S_OK);
    EXPECT_EQ(visual, WindowVisualState_Normal);
    BOOL topmost = TRUE;
    EXPECT_EQ(provider->get_IsTopmost(&topmost), S_OK);
    EXPECT_EQ(topmost, FALSE);
    EXPECT_EQ(provider->Close(), S_OK);
    EXPECT_EQ(provider->SetVisualState(WindowVisualState_Normal), S_OK);
    BOOL answer = TRUE;
    EXPECT_EQ(provider->get_CanMinimize(&answer), S_OK);
    EXPECT_EQ(answer, FALSE);
    if (form) {
        EXPECT_EQ(form->closes, 0);
        EXPECT_EQ(form->restores, 0);
    }
}

TEST_P(GoneComponentTest, PatternActionsDoNothingAndSucceed)
{
    auto button = std::make_shared<test::TestButton>();
    auto page = std::make_shared<test::TestPage>();
    auto bar = std::make_shared<test::TestProgressBar>();
    bar->value = 60;
    Attached<ButtonAccessibilityProvider> buttonProvider(button);
    Attached<ScrollableAccessibilityProvider> pageProvider(page);
    Attached<ProgressBarAccessibilityProvider> barProvider(bar);
    MakeGone(button, buttonProvider);
    MakeGone(page, pageProvider);
    MakeGone(bar, barProvider);

    EXPECT_EQ(buttonProvider->Invoke(), S_OK);
    EXPECT_EQ(pageProvider->Scroll(ScrollAmount_LargeIncrement, ScrollAmount_NoAmount), S_OK);
    EXPECT_EQ(pageProvider->SetScrollPercent(10, 20), S_OK);
    EXPECT_EQ(pageProvider->ScrollIntoView(), S_OK);
    double percent = 5;
    EXPECT_EQ(pageProvider->get_VerticalScrollPercent(&percent), S_OK);
    EXPECT_EQ(percent, 0);
    double value = 5;
    EXPECT_EQ(barProvider->get_Value(&value), S_OK);
    EXPECT_EQ(value, 0);
    if (button) {
        EXPECT_EQ(button->invokes, 0);
    }
    if (page) {
        EXPECT_TRUE(page->scrolls.empty());
        EXPECT_TRUE(page->percentsSet.empty());
        EXPECT_EQ(page->scrolledIntoView, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Gone, GoneComponentTest, testing::Values(Gone::Disconnected, Gone::Expired),
                         [](const testing::TestParamInfo<Gone>& info) {
                             return info.param == Gone::Disconnected ? "Disconnected" : "Expired";
                         });

TEST_F(ProviderTest, AProviderDoesNotKeepItsComponentAlive)
{
    auto button = std::make_shared<test::TestButton>();
    const std::weak_ptr<Component> watched = button;
    Attached<ButtonAccessibilityProvider> provider(button);
    button.reset();
    EXPECT_TRUE(watched.expired());
}

TEST_F(ProviderTest, ExceptionsFromTheComponentBecomeFailures)
{
    auto button = std::make_shared<test::TestButton>();
    button->throwFromName = true;
    button->throwFromInvoke = true;
    Attached<ButtonAccessibilityProvider> provider(button);
    Property property;
    EXPECT_EQ(provider->GetPropertyValue(UIA_NamePropertyId, &property.value), E_FAIL);
    EXPECT_EQ(property.value.vt, VT_EMPTY);
    EXPECT_EQ(provider->Invoke(), E_FAIL);
    // The provider stays usable.
    EXPECT_EQ(provider->GetPropertyValue(UIA_IsEnabledPropertyId, &property.value), S_OK);
    EXPECT_EQ(property.value.vt, VT_BOOL);
}

TEST_F(ProviderTest, ReferenceCountsGoBackToZero)
{
    auto bar = std::make_shared<test::TestProgressBar>();
    auto* provider = new ProgressBarAccessibilityProvider;
    provider->SetComponent(bar);
    EXPECT_EQ(ComObjectCount(), objectsBefore + 1);
    EXPECT_EQ(provider->AddRef(), 2u);
    IRangeValueProvider* range = nullptr;
    ASSERT_EQ(provider->QueryInterface(__uuidof(IRangeValueProvider), reinterpret_cast<void**>(&range)), S_OK);
    IUnknown* pattern = nullptr;
    ASSERT_EQ(provider->GetPatternProvider(UIA_RangeValuePatternId, &pattern), S_OK);
    EXPECT_EQ(pattern->Release(), 3u);
    EXPECT_EQ(range->Release(), 2u);
    EXPECT_EQ(provider->Release(), 1u);
    EXPECT_EQ(ComObjectCount(), objectsBefore + 1);
    EXPECT_EQ(provider->Release(), 0u);
    EXPECT_EQ(ComObjectCount(), objectsBefore);
}

}  // namespace
}  // namespace F3
