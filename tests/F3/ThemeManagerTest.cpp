#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "F3/EmbeddedThemeResourceLoader.h"
#include "F3/ThemeManager.h"
#include "Shared/VeskUtilities/ResourceHelper.h"
#include "support/CapturingLogger.h"
#include "support/FakeResources.h"

namespace F3 {
namespace {

struct FontRequest {
    double size;
    bool bold;
    bool underline;
    bool italic;
    std::wstring family;
};

class RecordingFonts : public IFontManager {
public:
    std::shared_ptr<Gdiplus::Font> GetFont(double size, bool bold, bool underline, bool italic,
                                           std::wstring family) override
    {
        requests.push_back({size, bold, underline, italic, family});
        return nullptr;
    }
    std::vector<FontRequest> requests;
};

class FixedLanguage : public ILocalisationManager {
public:
    explicit FixedLanguage(std::wstring language) : language(std::move(language)) {}
    std::wstring Get(std::wstring_view key, const std::map<std::wstring, std::wstring>&) override
    {
        return std::wstring(key);
    }
    std::wstring GetUpper(std::wstring_view key, const std::map<std::wstring, std::wstring>&) override
    {
        return std::wstring(key);
    }
    std::wstring CurrentLanguage() override { return language; }
    std::wstring language;
};

class DocumentLoader : public IThemeResourceLoader {
public:
    bool Exists(const std::wstring& name) override { return documents.count(name) != 0; }
    ThemeResource Load(const std::wstring& name) override
    {
        return ThemeResource(nlohmann::json::parse(documents.at(name)));
    }
    std::map<std::wstring, std::string> documents;
};

using test::FakeResources;

const char* const kSmallTheme = R"({
  "colour-background": {"red": 12, "green": 26, "blue": 74, "alpha": 255},
  "colour-odd": {"red": 256, "green": 300.9, "blue": 1.7, "alpha": -1},
  "colour-font": {"red": 1, "green": 2, "blue": 3, "alpha": 4},
  "font": {"name": "Inter", "size": 11, "bold": false, "italic": false, "underline": false},
  "speed": 1.5, "label": "top", "flag": true, "not-a-colour": "red",
  "component": {
    "button-base": {"button": {"round": {"font": {"size": 10.5, "bold": true}}}},
    "sub-page": {"page": {"error": {"colour-background": {"red": 255, "green": 255, "blue": 255, "alpha": 255}}}},
    "stringy": "everything"
  }
})";

class ThemeManagerTest : public testing::Test {
protected:
    ThemeManager Make(const char* document = kSmallTheme, std::wstring language = L"en-us")
    {
        loader.documents[L"theme"] = document;
        return ThemeManager(&fonts, &loader, std::make_shared<FixedLanguage>(language), L"theme");
    }

    RecordingFonts fonts;
    DocumentLoader loader;
};

Gdiplus::ARGB ArgbOf(const ThemeValue& value) { return std::get<Gdiplus::Color>(value).GetValue(); }

TEST_F(ThemeManagerTest, ColoursAreAssembledAndFoundAlongThePath)
{
    ThemeManager theme = Make();
    const std::vector<std::string> error = {"component", "sub-page", "page", "error"};
    EXPECT_EQ(ArgbOf(theme.Get(error, "colour-background")), 0xFFFFFFFFu) << "its own level";
    EXPECT_EQ(ArgbOf(theme.Get({"component", "form"}, "colour-background")), 0xFF0C1A4Au) << "the top level";
    EXPECT_EQ(ArgbOf(theme.Get(error, "colour-font")), 0x04010203u) << "\"colour-font\" is a colour";
    // Truncated toward zero, low 8 bits: 256 -> 0, 300.9 -> 44, 1.7 -> 1, -1 -> 255.
    EXPECT_EQ(ArgbOf(theme.Get({}, "colour-odd")), 0xFF002C01u);
    EXPECT_TRUE(fonts.requests.empty());
}

TEST_F(ThemeManagerTest, FontMembersCombineAcrossLevels)
{
    ThemeManager theme = Make();
    theme.Get({"component", "button-base", "button", "round"}, "font");
    theme.Get({"component", "form"}, "font");
    ASSERT_EQ(fonts.requests.size(), 2u);
    EXPECT_EQ(fonts.requests[0].size, 10.5);
    EXPECT_TRUE(fonts.requests[0].bold);
    EXPECT_EQ(fonts.requests[0].family, L"Inter");
    EXPECT_FALSE(fonts.requests[0].italic);
    EXPECT_EQ(fonts.requests[1].size, 11);
    EXPECT_FALSE(fonts.requests[1].bold);
}

TEST_F(ThemeManagerTest, PlainValuesAndTheirErrors)
{
    ThemeManager theme = Make();
    EXPECT_EQ(std::get<double>(theme.Get({"component"}, "speed")), 1.5);
    EXPECT_EQ(std::get<std::wstring>(theme.Get({"component"}, "label")), L"top");
    EXPECT_TRUE(std::get<bool>(theme.Get({"component"}, "flag")));
    EXPECT_EQ(std::get<std::wstring>(theme.Get({"component", "stringy"}, "anything")), L"everything")
        << "a string on the path answers every key";
    EXPECT_EQ(std::get<std::wstring>(theme.Get({"label", "deeper"}, "anything")), L"top")
        << "even a string at the top level";
    EXPECT_THROW(theme.Get({"component"}, "missing"), std::runtime_error);
    try {
        theme.Get({"component"}, "missing");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot find key");
    }
    EXPECT_THROW(theme.Get({}, "colour-missing"), std::runtime_error);
    EXPECT_THROW(theme.Get({}, "not-a-colour"), std::bad_variant_access)
        << "the walk ends at the string, which is no channel number";
    EXPECT_THROW(Make(R"({"font": {"name": 5, "size": 9, "bold": false, "italic": false, "underline": false}})")
                     .Get({}, "font"),
                 std::bad_variant_access);
}

TEST_F(ThemeManagerTest, ALanguageThemeOverridesTheBase)
{
    loader.documents[L"de-de"] = R"({"label": "oben"})";
    ThemeManager german = Make(kSmallTheme, L"de-de");
    EXPECT_EQ(std::get<std::wstring>(german.Get({}, "label")), L"oben");
    EXPECT_EQ(std::get<double>(german.Get({}, "speed")), 1.5) << "the rest from the base";
}

TEST(EmbeddedThemeResourceLoader, FailsClearlyAndReadsTheCarriedTheme)
{
    FakeResources fake;
    fake.bytes[2] = "{ broken";
    EmbeddedThemeResourceLoader loader(&fake, {{L"theme", 1}, {L"broken", 2}});
    EXPECT_TRUE(loader.Exists(L"theme"));
    EXPECT_FALSE(loader.Exists(L"en-us"));
    EXPECT_THROW(loader.Load(L"other"), std::out_of_range);
    {
        test::CapturingLogger log;
        EXPECT_THROW(loader.Load(L"theme"), std::runtime_error);
        EXPECT_EQ(log.Texts(halvlib::logging::Error), std::vector<std::string>{"Theme file not found"});
    }
    try {
        loader.Load(L"broken");
        ADD_FAILURE() << "a theme that does not parse was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), testing::HasSubstr("parse error")) << "the parser's text";
    }

    // The program's own theme, with the examples its components rely on.
    Vesk::Utilities::Resources::ResourceHelper resources(GetModuleHandleW(nullptr));
    EmbeddedThemeResourceLoader embedded(&resources, EmbeddedThemeResourceLoader::InstallerThemes());
    RecordingFonts fonts;
    ThemeManager theme(&fonts, &embedded, std::make_shared<FixedLanguage>(L"en-us"), L"theme");
    EXPECT_EQ(ArgbOf(theme.Get({"component", "sub-page", "page", "error"}, "colour-background")), 0xFFFFFFFFu);
    EXPECT_EQ(ArgbOf(theme.Get({"component", "sub-page", "page", "error"}, "colour-font-title")), 0xFFE35053u);
    EXPECT_EQ(ArgbOf(theme.Get({"component", "form"}, "colour-background")), 0xFFEFF0F2u);
    EXPECT_EQ(ArgbOf(theme.Get({"component", "progress-bar"}, "colour-empty")), 0xFFF2F3F5u);
    EXPECT_EQ(ArgbOf(theme.Get({"component", "button-base", "shadow-button", "blue"}, "colour-shadow")) >> 24, 51u);
    EXPECT_EQ(std::get<double>(theme.Get({"component", "progress-bar"}, "progress-fill-time")), 1.0);
    theme.Get({"component", "form"}, "font-heading");
    theme.Get({"component", "button-base", "button", "round"}, "font");
    theme.Get({"component", "sub-page", "page", "error"}, "font-title");
    ASSERT_EQ(fonts.requests.size(), 3u);
    EXPECT_EQ(fonts.requests[0].size, 15);
    EXPECT_FALSE(fonts.requests[0].bold);
    EXPECT_EQ(fonts.requests[1].size, 10.5);
    EXPECT_EQ(fonts.requests[1].family, L"Inter");
    EXPECT_EQ(fonts.requests[2].size, 15.75);
    EXPECT_TRUE(fonts.requests[2].bold);
}

}  // namespace
}  // namespace F3
