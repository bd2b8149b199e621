#include <windows.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "F3/ComObject.h"
#include "support/AccessibilityTestComponents.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

using namespace Accessibility;
using test::Attached;

class ProviderPatternsTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        objectsBefore = ComObjectCount();
    }
    void TearDown() override { EXPECT_EQ(ComObjectCount(), objectsBefore); }

    // The pattern interface as a client gets it: through GetPatternProvider.
    template <typename Pattern>
    static Pattern* PatternOf(IRawElementProviderSimple* provider, PATTERNID id)
    {
        IUnknown* unknown = nullptr;
        EXPECT_EQ(provider->GetPatternProvider(id, &unknown), S_OK);
        if (!unknown)
            return nullptr;
        Pattern* pattern = nullptr;
        EXPECT_EQ(unknown->QueryInterface(__uuidof(Pattern), reinterpret_cast<void**>(&pattern)), S_OK);
        unknown->Release();
        return pattern;
    }

    long objectsBefore = 0;
};

TEST_F(ProviderPatternsTest, WindowVisualStatesRestoreAndMinimiseTheForm)
{
    auto form = std::make_shared<test::TestForm>();
    Attached<WindowAccessibilityProvider> provider(form);
    IWindowProvider* window = PatternOf<IWindowProvider>(provider.Simple(), UIA_WindowPatternId);
    ASSERT_NE(window, nullptr);

    WindowVisualState state = WindowVisualState_Maximized;
    BOOL canMinimize = FALSE;
    EXPECT_EQ(window->get_WindowVisualState(&state), S_OK);
    EXPECT_EQ(state, WindowVisualState_Normal);
    EXPECT_EQ(window->get_CanMinimize(&canMinimize), S_OK);
    EXPECT_EQ(canMinimize, TRUE);

    EXPECT_EQ(window->SetVisualState(WindowVisualState_Minimized), S_OK);
    EXPECT_EQ(form->minimises, 1);
    EXPECT_EQ(window->get_WindowVisualState(&state), S_OK);
    EXPECT_EQ(state, WindowVisualState_Minimized);
    EXPECT_EQ(window->get_CanMinimize(&canMinimize), S_OK);
    EXPECT_EQ(canMinimize, FALSE);

    // The form cannot be maximised: nothing happens.
    EXPECT_EQ(window->SetVisualState(WindowVisualState_Maximized), S_OK);
    EXPECT_EQ(form->minimises, 1);
    EXPECT_EQ(form->restores, 0);

    EXPECT_EQ(window->SetVisualState(WindowVisualState_Normal), S_OK);
    EXPECT_EQ(form->restores, 1);
    EXPECT_EQ(window->get_WindowVisualState(&state), S_OK);
    EXPECT_EQ(state, WindowVisualState_Normal);

    EXPECT_EQ(window->SetVisualState(static_cast<WindowVisualState>(7)), E_INVALIDARG);
    EXPECT_EQ(form->minimises + form->restores, 2);
    window->Release();
}

TEST_F(ProviderPatternsTest, WindowAnswersFromTheForm)
{
    auto form = std::make_shared<test::TestForm>();
    Attached<WindowAccessibilityProvider> provider(form);
    IWindowProvider* window = PatternOf<IWindowProvider>(provider.Simple(), UIA_WindowPatternId);
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(window->Close(), S_OK);
    EXPECT_EQ(form->closes, 1);

    BOOL answer = FALSE;
    EXPECT_EQ(window->WaitForInputIdle(1000, &answer), S_OK);
    EXPECT_EQ(answer, TRUE);
    answer = TRUE;
    EXPECT_EQ(window->get_CanMaximize(&answer), S_OK);
    EXPECT_EQ(answer, FALSE);
    answer = FALSE;
    EXPECT_EQ(window->get_IsModal(&answer), S_OK);
    EXPECT_EQ(answer, TRUE);

    for (const bool topmost : {false, true}) {
        form->topmost = topmost;
        answer = !topmost;
        EXPECT_EQ(window->get_IsTopmost(&answer), S_OK);
        EXPECT_EQ(answer, topmost ? TRUE : FALSE);
    }
    for (const int interaction : {WindowInteractionState_Running, WindowInteractionState_ReadyForUserInteraction}) {
        form->interactionState = interaction;
        WindowInteractionState state = WindowInteractionState_NotResponding;
        EXPECT_EQ(window->get_WindowInteractionState(&state), S_OK);
        EXPECT_EQ(state, interaction);
    }
    window->Release();
}

TEST_F(ProviderPatternsTest, ScrollCallsReachThePageAndItsAnswersComeBack)
{
    auto page = std::make_shared<test::TestPage>();
    page->scrollPatternAvailable = true;
    page->horizontallyScrollable = true;
    page->horizontalPercent = 12.5;
    page->verticalPercent = 87.5;
    page->horizontalViewSize = 40;
    page->verticalViewSize = 60;
    Attached<ScrollableAccessibilityProvider> provider(page);
    IScrollProvider* scroll = PatternOf<IScrollProvider>(provider.Simple(), UIA_ScrollPatternId);
    IScrollItemProvider* item = PatternOf<IScrollItemProvider>(provider.Simple(), UIA_ScrollItemPatternId);
    ASSERT_NE(scroll, nullptr);
    ASSERT_NE(item, nullptr);

    EXPECT_EQ(scroll->Scroll(ScrollAmount_SmallDecrement, ScrollAmount_LargeIncrement), S_OK);
    EXPECT_EQ(scroll->SetScrollPercent(-1, 50), S_OK);
    EXPECT_EQ(page->scrolls, (std::vector<std::pair<int, int>>{{ScrollAmount_SmallDecrement, ScrollAmount_LargeIncrement}}));
    EXPECT_EQ(page->percentsSet, (std::vector<std::pair<double, double>>{{-1, 50}}));

    const std::vector<std::pair<HRESULT (STDMETHODCALLTYPE IScrollProvider::*)(double*), double>> numbers = {
        {&IScrollProvider::get_HorizontalScrollPercent, 12.5},
        {&IScrollProvider::get_VerticalScrollPercent, 87.5},
        {&IScrollProvider::get_HorizontalViewSize, 40},
        {&IScrollProvider::get_VerticalViewSize, 60},
    };
    for (const auto& [getter, expected] : numbers) {
        double value = -7;
        EXPECT_EQ((scroll->*getter)(&value), S_OK);
        EXPECT_EQ(value, expected);
    }
    BOOL horizontally = FALSE;
    BOOL vertically = TRUE;
    EXPECT_EQ(scroll->get_HorizontallyScrollable(&horizontally), S_OK);
    EXPECT_EQ(scroll->get_VerticallyScrollable(&vertically), S_OK);
    EXPECT_EQ(horizontally, TRUE);
    EXPECT_EQ(vertically, FALSE);

    EXPECT_EQ(item->ScrollIntoView(), S_OK);
    EXPECT_EQ(page->scrolledIntoView, 1);
    item->Release();
    scroll->Release();
}

TEST_F(ProviderPatternsTest, InvokeIsTheButtonsInvoke)
{
    auto button = std::make_shared<test::TestButton>();
    Attached<ButtonAccessibilityProvider> provider(button);
    IInvokeProvider* invoke = PatternOf<IInvokeProvider>(provider.Simple(), UIA_InvokePatternId);
    ASSERT_NE(invoke, nullptr);
    EXPECT_EQ(invoke->Invoke(), S_OK);
    EXPECT_EQ(invoke->Invoke(), S_OK);
    EXPECT_EQ(button->invokes, 2);
    invoke->Release();
}

TEST_F(ProviderPatternsTest, RangeValueIsAReadOnlyPercentage)
{
    auto bar = std::make_shared<test::TestProgressBar>();
    Attached<ProgressBarAccessibilityProvider> provider(bar);
    IRangeValueProvider* range = PatternOf<IRangeValueProvider>(provider.Simple(), UIA_RangeValuePatternId);
    ASSERT_NE(range, nullptr);

    EXPECT_EQ(range->SetValue(50), E_NOTIMPL);
    BOOL readOnly = FALSE;
    EXPECT_EQ(range->get_IsReadOnly(&readOnly), S_OK);
    EXPECT_EQ(readOnly, TRUE);
    double minimum = -1;
    double maximum = -1;
    EXPECT_EQ(range->get_Minimum(&minimum), S_OK);
    EXPECT_EQ(range->get_Maximum(&maximum), S_OK);
    EXPECT_EQ(minimum, 0.0);
    EXPECT_EQ(maximum, 100.0);
    double large = 0;
    double small = 0;
    EXPECT_EQ(range->get_LargeChange(&large), S_OK);
    EXPECT_EQ(range->get_SmallChange(&small), S_OK);
    EXPECT_TRUE(std::isnan(large));
    EXPECT_TRUE(std::isnan(small));
    range->Release();
}

TEST_F(ProviderPatternsTest, TheRangeValuePropertyAndTheValueAgree)
{
    auto bar = std::make_shared<test::TestProgressBar>();
    Attached<ProgressBarAccessibilityProvider> provider(bar);
    IRangeValueProvider* range = PatternOf<IRangeValueProvider>(provider.Simple(), UIA_RangeValuePatternId);
    ASSERT_NE(range, nullptr);
    for (const double progress : {0.0, 25.0, 85.0, 100.0}) {
        bar->value = progress;
        double value = -1;
        EXPECT_EQ(range->get_Value(&value), S_OK);
        VARIANT property;
        VariantInit(&property);
        EXPECT_EQ(provider->GetPropertyValue(UIA_RangeValueValuePropertyId, &property), S_OK);
        ASSERT_EQ(property.vt, VT_R8);
        EXPECT_EQ(property.dblVal, progress);
        EXPECT_EQ(value, progress);
    }
    range->Release();
}

}  // namespace
}  // namespace F3
