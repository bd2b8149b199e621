#include <windows.h>

#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "F3/EmbeddedLocalisationResourceLoader.h"
#include "F3/LocalisationManager.h"
#include "Shared/VeskUtilities/ResourceHelper.h"
#include "support/FakeResources.h"

namespace F3 {
namespace {

using testing::ElementsAreArray;

// Answers as GetUserPreferredUILanguages does: the size first, then the NUL-separated list.
class FakeLocale : public Vesk::Utilities::Locale::ILocaleHelper {
public:
    explicit FakeLocale(std::wstring list, int failingCall = 0) : list(std::move(list)), failingCall(failingCall) {}

    BOOL GetUserPreferredUILanguages(ULONG* count, wchar_t* buffer, ULONG* bufferSize) override
    {
        ++calls;
        if (calls == failingCall)
            return FALSE;
        const ULONG needed = static_cast<ULONG>(list.size() + 1);
        *count = 1;
        if (!buffer) {
            *bufferSize = needed;
            return TRUE;
        }
        list.copy(buffer, list.size());
        buffer[list.size()] = L'\0';
        *bufferSize = needed;
        return TRUE;
    }

private:
    std::wstring list;
    int failingCall;
    int calls = 0;
};

using test::FakeResources;

struct LanguageCase {
    const wchar_t* preferred;  // NUL-separated, as the system gives them
    std::size_t length;
    const wchar_t* chosen;
};

TEST(LocalisationManager, ChoosesFromTheFirstPreferredLanguageOnly)
{
    FakeResources resources;
    EmbeddedLocalisationResourceLoader loader(&resources, EmbeddedLocalisationResourceLoader::InstallerLanguages());
    const LanguageCase cases[] = {
        {L"fr-CA", 5, L"fr-fr"},   {L"fr", 2, L"fr-fr"},     {L"en-GB", 5, L"en-us"},
        {L"pt-BR", 5, L"en-us"},   {L"JA-JP", 5, L"ja-jp"},  {L"de", 2, L"de-de"},
        {L"it-IT", 5, L"it-it"},   {L"es-MX", 5, L"es-es"},  {L"pt-BR\0de-DE", 11, L"en-us"},
        {L"", 0, L"en-us"},        {L"x", 1, L"en-us"},
    };
    for (const LanguageCase& c : cases) {
        FakeLocale locale(std::wstring(c.preferred, c.length));
        LocalisationManager manager(&locale, &loader, L"en-us");
        EXPECT_EQ(manager.CurrentLanguage(), c.chosen) << std::wstring(c.preferred, c.length).c_str();
    }
    for (const int failing : {1, 2}) {
        FakeLocale locale(L"de-DE", failing);
        LocalisationManager manager(&locale, &loader, L"en-us");
        EXPECT_EQ(manager.CurrentLanguage(), L"en-us") << "call " << failing << " failed";
    }
}

TEST(LocalisationManager, FillsPlaceholdersAndLeavesUnknownKeysAsTheyAre)
{
    FakeResources resources;
    resources.bytes[1] = R"({"greeting": "{who} and {who} met {place}", "loop": "{a}", "number": 5,
                            "upper": "Cancel"})";
    EmbeddedLocalisationResourceLoader loader(&resources, {{L"en-us", 1}});
    FakeLocale locale(L"en-US");
    LocalisationManager manager(&locale, &loader, L"en-us");

    EXPECT_EQ(manager.Get(L"greeting", {{L"who", L"Ann"}, {L"place", L"here"}}), L"Ann and Ann met here");
    EXPECT_EQ(manager.Get(L"loop", {{L"a", L"{a}{a}"}}), L"{a}{a}") << "an inserted value is not expanded again";
    EXPECT_EQ(manager.Get(L"missing.key"), L"missing.key");
    EXPECT_EQ(manager.Get(L""), L"");
    EXPECT_EQ(manager.Get(L"number"), L"") << "a value that is not a string";
    EXPECT_EQ(manager.GetUpper(L"upper"), L"CANCEL");
}

TEST(LocalisationManager, LoadErrorsEndTheConstruction)
{
    FakeResources resources;
    resources.bytes[1] = "{ not json";
    EmbeddedLocalisationResourceLoader loader(&resources, {{L"en-us", 1}, {L"de-de", 2}});
    FakeLocale locale(L"en-US");
    try {
        LocalisationManager manager(&locale, &loader, L"en-us");
        ADD_FAILURE() << "a table that does not parse was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), testing::HasSubstr("parse error")) << "the parser's text";
    }
    EXPECT_THROW(loader.Load(L"xx-xx"), std::out_of_range);
    resources.bytes[2] = R"(["not", "a", "table"])";
    EXPECT_THROW(loader.Load(L"de-de"), std::runtime_error) << "a document that is not an object";
    resources.bytes.erase(2);
    EXPECT_TRUE(loader.Load(L"de-de").empty()) << "no resource: an empty table";
    FakeLocale german(L"de-DE");
    LocalisationManager manager(&german, &loader, L"en-us");
    EXPECT_EQ(manager.Get(L"window.title"), L"window.title");
}

TEST(LocalisationManager, EveryCarriedTableHasTheTenKeysAndTheProductName)
{
    Vesk::Utilities::Resources::ResourceHelper resources(GetModuleHandleW(nullptr));
    EmbeddedLocalisationResourceLoader loader(&resources, EmbeddedLocalisationResourceLoader::InstallerLanguages());
    const std::wstring keys[] = {L"setup.failure.download", L"setup.failure.expired", L"setup.failure.unknown",
                                 L"stage1.error.cancel",    L"stage1.error.download", L"stage1.error.title",
                                 L"stage1.error.tryagain",  L"stage1.progress.downloading", L"window.title",
                                 L"zzz.zzz.zzz"};
    for (const auto& [language, id] : EmbeddedLocalisationResourceLoader::InstallerLanguages()) {
        const auto texts = loader.Load(language);
        std::vector<std::wstring> found;
        for (const auto& [key, text] : texts) {
            found.push_back(key);
            EXPECT_FALSE(text.empty()) << language.c_str() << " " << key.c_str();
        }
        EXPECT_THAT(found, ElementsAreArray(keys)) << language.c_str();
        EXPECT_EQ(texts.at(L"window.title"), L"Halvex Vesk") << language.c_str();
    }

    FakeLocale locale(L"en-US");
    LocalisationManager english(&locale, &loader, L"en-us");
    EXPECT_EQ(english.Get(L"stage1.error.title"), L"There was a problem");
    EXPECT_EQ(english.GetUpper(L"stage1.error.cancel"), L"CANCEL");
    EXPECT_EQ(english.Get(L"setup.failure.download"), L"An internet connection is required to install Halvex Vesk.");
    FakeLocale japanese(L"ja-JP");
    EXPECT_EQ(LocalisationManager(&japanese, &loader, L"en-us").Get(L"stage1.error.cancel"), L"キャンセル");
}

}  // namespace
}  // namespace F3
