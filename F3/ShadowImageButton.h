#pragma once

#include <memory>

#include "F3/PngImage.h"
#include "F3/ShadowButton.h"

namespace F3 {

// A shadow button with a 16 x 16 image before its left-aligned label.
class ShadowImageButton : public ShadowButton {
public:
    // A null image draws none.
    ShadowImageButton(std::function<void()> onClick, std::wstring labelKey, float right, float top,
                      std::vector<std::string> styleNames, ButtonSize size, ShadowInsets insets,
                      std::shared_ptr<PngImage> image, bool accessible = true);

    void Paint(Gdiplus::Graphics& graphics) override;

    const std::shared_ptr<PngImage>& GetImage() const { return image; }

private:
    std::shared_ptr<PngImage> image;
};

}  // namespace F3
