#include <windows.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "F3/DpiScale.h"
#include "F3/UiaDeclarations.h"
#include "Stage1UI/ProgressPage.h"
#include "Stage1UITestSupport.h"
#include "support/GdiplusSession.h"

namespace S1::UI {
namespace {

class ProgressPageTest : public test::PageTest<ProgressPage> {
protected:
    // Below the header, the window's width.
    void Create()
    {
        CreatePage(116);
        ASSERT_NE(page->GetHandle(), nullptr);
        ASSERT_TRUE(page->GetProgressBar());
        ASSERT_NE(page->GetProgressBar()->GetHandle(), nullptr);
    }

    // The form's timer at the given time.
    void Tick(double time)
    {
        managers->engine.UpdateAt(time);
        root->OnAnimationTick();
    }

    double BarValue() const { return page->GetProgressBar()->GetValue(); }
};

TEST_F(ProgressPageTest, TheHeadingIsThePagesNameInEveryLanguage)
{
    struct Case {
        const wchar_t* preferred;
        const wchar_t* heading;
    };
    for (const Case& c : {Case{L"en-US", L"Downloading..."}, Case{L"fr-FR", L"Téléchargement..."}}) {
        managers->localisation->Use(c.preferred);
        Create();
        EXPECT_EQ(page->GetTitle(), c.heading);
        EXPECT_EQ(page->GetName(), c.heading);
        EXPECT_EQ(page->GetProgressBar()->GetX(), 24);
        EXPECT_EQ(page->GetProgressBar()->GetY(), 72);
        EXPECT_EQ(page->GetProgressBar()->GetWidth(), 352);
        EXPECT_EQ(page->GetProgressBar()->GetHeight(), 12);

        // Progress never changes the heading.
        managers->engine.now += 10;
        controller.SignalProgress(60);
        test::PumpAll();
        Tick(managers->engine.now + 2);
        ASSERT_EQ(BarValue(), 60);
        EXPECT_EQ(page->GetName(), c.heading);
        root.reset();
        page.reset();
    }
}

TEST_F(ProgressPageTest, ProgressFromTheWorkerGlidesTheBarOnTheWindowThread)
{
    Create();
    // A retry starts again at 0 after a full bar; a value can also follow a lower one.
    struct Case {
        std::uint32_t percent;
        double from;
    };
    double time = 0;
    for (const Case& c : {Case{100, 0}, Case{0, 100}, Case{35, 0}, Case{80, 35}}) {
        const std::string context = std::to_string(c.from) + " to " + std::to_string(c.percent);
        time += 10;
        managers->engine.now = time;
        controller.SignalProgress(c.percent);
        Tick(time);
        EXPECT_EQ(BarValue(), c.from) << context << ": posted to the window thread, not set by the worker";
        EXPECT_TRUE(managers->engine.Idle()) << context;

        test::RunPosted();
        Tick(time);
        EXPECT_EQ(BarValue(), c.from) << context;
        Tick(time + 0.5);
        EXPECT_NEAR(BarValue(), (c.from + c.percent) / 2, 1e-3) << context << ": halfway after half a second";
        Tick(time + 0.99);
        EXPECT_NE(BarValue(), c.percent) << context;
        Tick(time + 1);
        EXPECT_EQ(BarValue(), c.percent) << context;
        EXPECT_TRUE(managers->engine.Idle()) << context;
    }

    // UI Automation reads the bar's value as laid out.
    IRawElementProviderSimple* simple = nullptr;
    ASSERT_EQ(page->GetProgressBar()->GetProvider()->QueryInterface(__uuidof(IRawElementProviderSimple),
                                                                  reinterpret_cast<void**>(&simple)),
              S_OK);
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(simple->GetPropertyValue(UIA_RangeValueValuePropertyId, &value), S_OK);
    EXPECT_EQ(value.vt, VT_R8);
    EXPECT_EQ(value.dblVal, 80);
    simple->Release();
}

TEST_F(ProgressPageTest, ProgressAfterThePageIsGoneReachesNothing)
{
    Create();
    controller.SignalProgress(40);
    test::PumpAll();
    root.reset();
    page.reset();
    EXPECT_EQ(controller.OnProgress.num_slots(), 0u) << "the page's connection goes with it";
    controller.SignalProgress(50);
    EXPECT_NO_THROW(test::PumpAll());
}

}  // namespace
}  // namespace S1::UI
