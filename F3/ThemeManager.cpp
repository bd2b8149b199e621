#include "F3/ThemeManager.h"

#include <windows.h>

#include <stdexcept>
#include <utility>

namespace F3 {
namespace {

std::wstring FromThreadCodePage(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// A colour channel: the number truncated toward zero, its low 8 bits.
Gdiplus::ARGB Channel(const RawThemeValue& value)
{
    return static_cast<Gdiplus::ARGB>(static_cast<long long>(std::get<double>(value)) & 0xFF);
}

}  // namespace

ThemeManager::ThemeManager(IFontManager* fonts, IThemeResourceLoader* loader,
                           std::shared_ptr<ILocalisationManager> localisation, std::wstring themeName)
    : fonts(fonts), localisation(std::move(localisation)), loader(loader), themeName(std::move(themeName)),
      base(loader->Load(this->themeName))
{
    const std::wstring language = this->localisation->CurrentLanguage();
    if (loader->Exists(language))
        override_.emplace(loader->Load(language));
}

RawThemeValue ThemeManager::Raw(const std::vector<std::string>& path, const std::vector<std::string>& keyPath) const
{
    if (override_) {
        if (auto found = override_->Find(path, keyPath))
            return *found;
    }
    if (auto found = base.Find(path, keyPath))
        return *found;
    throw std::runtime_error("Cannot find key");
}

ThemeValue ThemeManager::Get(const std::vector<std::string>& path, const std::string& key)
{
    // "colour" first: "colour-font" is a colour.
    if (key.find("colour") != std::string::npos) {
        const Gdiplus::ARGB blue = Channel(Raw(path, {key, "blue"}));
        const Gdiplus::ARGB green = Channel(Raw(path, {key, "green"}));
        const Gdiplus::ARGB red = Channel(Raw(path, {key, "red"}));
        const Gdiplus::ARGB alpha = Channel(Raw(path, {key, "alpha"}));
        return Gdiplus::Color(alpha << 24 | red << 16 | green << 8 | blue);
    }
    if (key.find("font") != std::string::npos) {
        const std::wstring name = FromThreadCodePage(std::get<std::string>(Raw(path, {key, "name"})));
        const bool italic = std::get<bool>(Raw(path, {key, "italic"}));
        const bool underline = std::get<bool>(Raw(path, {key, "underline"}));
        const bool bold = std::get<bool>(Raw(path, {key, "bold"}));
        const double size = std::get<double>(Raw(path, {key, "size"}));
        return fonts->GetFont(size, bold, underline, italic, name);
    }
    const RawThemeValue value = Raw(path, {key});
    if (const auto* text = std::get_if<std::string>(&value))
        return FromThreadCodePage(*text);
    if (const auto* number = std::get_if<double>(&value))
        return *number;
    return std::get<bool>(value);
}

}  // namespace F3
