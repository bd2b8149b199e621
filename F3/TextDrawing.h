#pragma once

#include <memory>
#include <string>
#include <vector>

#include "F3/Gdiplus.h"

namespace F3 {

// Measuring and drawing wrapped, multi-paragraph text. Rectangles and sizes are in DIP unless
// said otherwise.

// The size of the text on one line, rounded up.
Gdiplus::SizeF MeasureText(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                           const std::wstring& text);

// The bounds, in pixels, of the whole text laid out in the rectangle (pixels) with the format;
// trailing spaces count.
Gdiplus::RectF MeasureStringBounds(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                                   const std::wstring& text, const Gdiplus::RectF& layout,
                                   const Gdiplus::StringFormat& format);

// The lines the text breaks into in the rectangle, after a space, ",", "-", ".", ":" or ";"
// where one fits, else where the line is full. With limitToHeight the lines stop at the
// rectangle's height, the last one taking the rest of the text.
std::vector<std::wstring> WrapTextLines(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                                        const std::wstring& text, const Gdiplus::RectF& rectangle,
                                        const Gdiplus::StringFormat& format, bool limitToHeight);

// One paragraph wrapped into the rectangle, drawn when draw is set; the height it takes.
float DrawWrappedText(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                      const std::wstring& text, float lineSpacing, bool draw, const Gdiplus::StringFormat& format,
                      const Gdiplus::Color& colour, const Gdiplus::RectF& rectangle);

// Paragraphs split at each line feed, one under the other (an empty one still takes a line);
// the total height.
float DrawParagraphs(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                     const std::wstring& text, float lineSpacing, bool draw, const Gdiplus::StringFormat& format,
                     const Gdiplus::Color& colour, const Gdiplus::RectF& rectangle);

// How pages and buttons draw their labels; the height taken.
float DrawTextBlock(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                    const std::wstring& text, const Gdiplus::StringFormat& format, const Gdiplus::Color& colour,
                    const Gdiplus::RectF& rectangle);

}  // namespace F3
