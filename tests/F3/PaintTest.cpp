#include <windows.h>

#include <memory>

#include <gtest/gtest.h>

#include "F3/Component.h"
#include "F3/DpiScale.h"
#include "F3/Painting.h"
#include "support/GdiplusSession.h"

namespace F3 {
namespace {

class Painted : public Component {
public:
    using Component::Component;
    bool IsKeyboardFocusable() const override { return false; }
    bool HasKeyboardFocus() const override { return false; }
    void RaiseAutomationEvent(int) override {}
    void Paint(Gdiplus::Graphics& graphics) override
    {
        ++paints;
        Component::Paint(graphics);
    }
    int paints = 0;
};

class PaintedRoot : public Painted {
public:
    using Painted::Painted;
    void CreateParams(CreateParamsRecord& params) override
    {
        Painted::CreateParams(params);
        params.style |= WS_POPUP;
    }
};

// Drops what is queued without painting.
void Drain()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

Gdiplus::Color PixelOf(Component& component, int x, int y)
{
    Gdiplus::Color colour;
    component.GetBackBuffer()->GetPixel(x, y, &colour);
    return colour;
}

class PaintTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureGdiplus();
        DpiScale::SetForTesting(96, 96);
        root = std::make_shared<PaintedRoot>(0, 0, 100, 100);
        root->SetInstance(GetModuleHandleW(nullptr));
        root->SetBackgroundColour(Gdiplus::Color(255, 255, 0, 0));
    }
    void TearDown() override
    {
        root.reset();
        Drain();
        DpiScale::SetForTesting(96, 96);
    }

    std::shared_ptr<Painted> AddBlueChild(float x, float y, int alpha)
    {
        auto child = std::make_shared<Painted>(x, y, 20, 20);
        child->SetBackgroundColour(Gdiplus::Color(255, 0, 0, 255));
        child->SetAlpha(alpha);
        root->AddChild(child);
        return child;
    }

    // Paints the tree into the root's own buffer as the pump does.
    void PaintAll() { PaintTree(*root, *root->GetBackBufferGraphics(), root->GetClientRect()); }

    std::shared_ptr<PaintedRoot> root;
};

TEST_F(PaintTest, ChildrenBlendIntoTheParentWithTheirAlpha)
{
    AddBlueChild(0, 0, 255);
    AddBlueChild(30, 0, 128);
    AddBlueChild(60, 0, 0);
    root->Create();
    PaintAll();
    const Gdiplus::Color opaque = PixelOf(*root, 10, 10);
    EXPECT_EQ(opaque.GetValue(), Gdiplus::Color(255, 0, 0, 255).GetValue());
    const Gdiplus::Color half = PixelOf(*root, 40, 10);
    EXPECT_NEAR(half.GetRed(), 127, 2);
    EXPECT_NEAR(half.GetBlue(), 128, 2);
    EXPECT_EQ(PixelOf(*root, 70, 10).GetValue(), Gdiplus::Color(255, 255, 0, 0).GetValue())
        << "alpha 0 leaves nothing";
    EXPECT_EQ(PixelOf(*root, 95, 95).GetValue(), Gdiplus::Color(255, 255, 0, 0).GetValue());
}

TEST_F(PaintTest, PixelsFollowTheDisplayScale)
{
    DpiScale::SetForTesting(144, 144);
    AddBlueChild(10, 10, 255);
    root->Create();
    PaintAll();
    // 10 to 30 DIP is 15 to 45 pixels.
    EXPECT_EQ(PixelOf(*root, 14, 20).GetRed(), 255);
    EXPECT_EQ(PixelOf(*root, 16, 20).GetBlue(), 255);
    EXPECT_EQ(PixelOf(*root, 44, 44).GetBlue(), 255);
    EXPECT_EQ(PixelOf(*root, 46, 46).GetRed(), 255);
}

TEST_F(PaintTest, HiddenAndOutlyingSubtreesAreNotPainted)
{
    auto hidden = AddBlueChild(0, 0, 255);
    hidden->SetVisible(false);
    auto outside = AddBlueChild(150, 150, 255);
    auto grandchild = std::make_shared<Painted>(0, 0, 5, 5);
    outside->AddChild(grandchild);
    auto shown = AddBlueChild(40, 40, 255);
    root->Create();
    PaintAll();
    EXPECT_EQ(root->paints, 1);
    EXPECT_EQ(shown->paints, 1);
    EXPECT_EQ(hidden->paints, 0);
    EXPECT_EQ(outside->paints, 0);
    EXPECT_EQ(grandchild->paints, 0);
    EXPECT_EQ(PixelOf(*root, 10, 10).GetRed(), 255) << "the hidden child left the parent's colour";
}

TEST_F(PaintTest, ThePumpRepaintsTheWholeTreeWhenAnyWindowIsInvalid)
{
    auto first = AddBlueChild(0, 0, 255);
    auto second = AddBlueChild(40, 40, 255);
    root->Create();
    ShowWindow(root->GetHandle(), SW_SHOW);
    ASSERT_TRUE(PumpAndPaint(*root));
    const int before = root->paints;
    EXPECT_TRUE(PumpAndPaint(*root));
    EXPECT_EQ(root->paints, before) << "nothing invalid, nothing painted";

    InvalidateRect(second->GetHandle(), nullptr, FALSE);
    EXPECT_TRUE(PumpAndPaint(*root));
    EXPECT_EQ(root->paints, before + 1);
    EXPECT_EQ(first->paints, second->paints) << "the whole tree, not only the invalid window";
}

TEST_F(PaintTest, QuitEndsThePumpBeforeAnyPainting)
{
    root->Create();
    ShowWindow(root->GetHandle(), SW_SHOW);
    Drain();
    const int before = root->paints;
    InvalidateRect(root->GetHandle(), nullptr, FALSE);
    PostQuitMessage(0);
    EXPECT_FALSE(PumpAndPaint(*root));
    EXPECT_EQ(root->paints, before);
}

}  // namespace
}  // namespace F3
