#include "F3/TextDrawing.h"

#include <cmath>
#include <cwchar>

#include "F3/DpiScale.h"

namespace F3 {
namespace {

constexpr wchar_t kBreakCharacters[] = L" ,-.:;";

Gdiplus::RectF ToPixels(const Gdiplus::RectF& dip)
{
    return Gdiplus::RectF(DpiScale::DipToPixelsX(dip.X), DpiScale::DipToPixelsY(dip.Y), DpiScale::DipToPixelsX(dip.Width),
                          DpiScale::DipToPixelsY(dip.Height));
}

}  // namespace

Gdiplus::RectF MeasureStringBounds(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                                   const std::wstring& text, const Gdiplus::RectF& layout,
                                   const Gdiplus::StringFormat& format)
{
    if (!font || text.empty())
        return Gdiplus::RectF(layout.X, layout.Y, 0, 0);
    std::unique_ptr<Gdiplus::StringFormat> measuring(format.Clone());
    const Gdiplus::CharacterRange whole(0, static_cast<INT>(text.size()));
    measuring->SetMeasurableCharacterRanges(1, &whole);
    measuring->SetFormatFlags(measuring->GetFormatFlags() | Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
    Gdiplus::Region region;
    Gdiplus::RectF bounds(layout.X, layout.Y, 0, 0);
    if (graphics.MeasureCharacterRanges(text.c_str(), static_cast<INT>(text.size()), font.get(), layout,
                                        measuring.get(), 1, &region) == Gdiplus::Ok)
        region.GetBounds(&bounds, &graphics);
    return bounds;
}

Gdiplus::SizeF MeasureText(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                           const std::wstring& text)
{
    Gdiplus::StringFormat format(Gdiplus::StringFormatFlagsNoWrap);
    format.SetAlignment(Gdiplus::StringAlignmentNear);
    const Gdiplus::RectF bounds = MeasureStringBounds(graphics, font, text, Gdiplus::RectF(0, 0, 1000, 1000), format);
    return Gdiplus::SizeF(std::ceil(DpiScale::PixelsToDipX(bounds.Width)), std::ceil(DpiScale::PixelsToDipY(bounds.Height)));
}

std::vector<std::wstring> WrapTextLines(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                                        const std::wstring& text, const Gdiplus::RectF& rectangle,
                                        const Gdiplus::StringFormat& format, bool limitToHeight)
{
    std::vector<std::wstring> lines;
    if (!font)
        return lines;
    std::unique_ptr<Gdiplus::StringFormat> oneLine(format.Clone());
    oneLine->SetFormatFlags(oneLine->GetFormatFlags() | Gdiplus::StringFormatFlagsNoWrap);
    const Gdiplus::RectF area = ToPixels(rectangle);

    std::wstring remaining = text;
    float runningHeight = 0;
    while (!remaining.empty()) {
        Gdiplus::RectF measured;
        INT fitted = 0;
        INT filled = 0;
        if (graphics.MeasureString(remaining.c_str(), static_cast<INT>(remaining.size()), font.get(), area,
                                   oneLine.get(), &measured, &fitted, &filled) != Gdiplus::Ok)
            break;
        const float lineHeight = measured.Height;
        runningHeight += lineHeight;
        std::size_t end = static_cast<std::size_t>(fitted);
        if (limitToHeight) {
            if (runningHeight > area.Height)
                break;
            if (runningHeight + lineHeight > area.Height)
                end = remaining.size();
        }
        if (end < remaining.size()) {
            // Break after the last break character that fits; with none the word is cut.
            for (std::size_t i = end; i > 0; --i) {
                if (std::wcschr(kBreakCharacters, remaining[i - 1])) {
                    end = i;
                    break;
                }
            }
        }
        // A rectangle narrower than one character still takes one per line, so the loop ends.
        if (end == 0)
            end = 1;
        lines.push_back(remaining.substr(0, end));
        remaining.erase(0, end);
    }
    return lines;
}

float DrawWrappedText(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                      const std::wstring& text, float lineSpacing, bool draw, const Gdiplus::StringFormat& format,
                      const Gdiplus::Color& colour, const Gdiplus::RectF& rectangle)
{
    if (!font)
        return 0;
    Gdiplus::SolidBrush brush(colour);
    const Gdiplus::RectF area = ToPixels(rectangle);
    const float spacing = DpiScale::DipToPixelsY(lineSpacing);
    float top = area.Y;
    float remainingHeight = area.Height;
    for (const std::wstring& line : WrapTextLines(graphics, font, text, rectangle, format, draw)) {
        const Gdiplus::RectF layout(area.X, top, area.Width, remainingHeight);
        if (draw)
            graphics.DrawString(line.c_str(), -1, font.get(), layout, &format, &brush);
        const float lineHeight = MeasureStringBounds(graphics, font, line, layout, format).Height;
        top += lineHeight + spacing;
        remainingHeight -= lineHeight + spacing;
    }
    return DpiScale::PixelsToDipY(top - area.Y);
}

float DrawParagraphs(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                     const std::wstring& text, float lineSpacing, bool draw, const Gdiplus::StringFormat& format,
                     const Gdiplus::Color& colour, const Gdiplus::RectF& rectangle)
{
    float total = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(L'\n', start);
        std::wstring paragraph = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (paragraph.empty())
            paragraph = L" ";
        const Gdiplus::RectF area(rectangle.X, rectangle.Y + total, rectangle.Width, rectangle.Height - total);
        total += DrawWrappedText(graphics, font, paragraph, lineSpacing, draw, format, colour, area);
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return total;
}

float DrawTextBlock(Gdiplus::Graphics& graphics, const std::shared_ptr<Gdiplus::Font>& font,
                    const std::wstring& text, const Gdiplus::StringFormat& format, const Gdiplus::Color& colour,
                    const Gdiplus::RectF& rectangle)
{
    return DrawParagraphs(graphics, font, text, 1.0f, true, format, colour, rectangle);
}

}  // namespace F3
