#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Installer/EntryPoint.h"
#include "Installer/KelmController.h"
#include "SetupControllerFakes.h"
#include "support/TempFolder.h"
#include "support/TraceLogReset.h"
#include "Utilities/FatalError.h"

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Return;
using ::testing::StartsWith;
using Setup::FatalError;

namespace {

constexpr const char* kFirstDocument =
    R"({"stage1-minimum-supported-version":"1.2.3","stage2-filename":"old.tar.gz","stage2-filename-arm64":"old-arm.tar.gz"})";

class KelmControllerTest : public ::testing::Test {
protected:
    void SetUp() override { SetTraceLogFile((temp / L"trace.log").wstring()); }
    void TearDown() override { test::ClearTraceLogFile(); }

    void Refresh(const std::string& body)
    {
        EXPECT_CALL(client, GetConfiguration()).WillOnce(Return(body));
        controller.Refresh();
    }

    // Nothing logged leaves no file.
    std::string Log()
    {
        const std::filesystem::path file = temp / L"trace.log";
        return std::filesystem::exists(file) ? test::ReadFile(file) : std::string();
    }

    test::TempFolder temp;
    ::testing::StrictMock<test::MockKelmClient> client;
    S1::KelmController controller{client};
};

TEST_F(KelmControllerTest, NothingBeforeTheFirstDocument)
{
    EXPECT_EQ(controller.GetMinimumVersion(), std::nullopt);
    EXPECT_EQ(controller.GetStage2FileName(), std::nullopt);
    EXPECT_EQ(controller.GetStage2FileNameArm64(), std::nullopt);
}

struct DocumentCase {
    const char* name;
    std::string body;
    // Refresh's failure: the exact text, or the prefix that the parser's own text follows.
    std::optional<std::string> failure;
    bool parserText;
    std::optional<std::string> minimum;
    std::optional<std::wstring> fileName;
    std::optional<std::wstring> fileNameArm64;
    std::vector<std::string> errorLines;
};

void PrintTo(const DocumentCase& c, std::ostream* out)
{
    *out << c.name;
}

class KelmControllerDocumentTest : public KelmControllerTest, public ::testing::WithParamInterface<DocumentCase> {};

// Every row follows a first document that named all three members, so a row also shows what a
// later document keeps.
TEST_P(KelmControllerDocumentTest, ReadsTheDocument)
{
    const DocumentCase& c = GetParam();
    Refresh(kFirstDocument);
    EXPECT_CALL(client, GetConfiguration()).WillOnce(Return(c.body));
    if (c.failure) {
        try {
            controller.Refresh();
            ADD_FAILURE() << "no failure";
        } catch (const FatalError& e) {
            EXPECT_EQ(e.Code(), FatalError::DownloadFailure);
            if (c.parserText) {
                EXPECT_THAT(e.what(), StartsWith(*c.failure));
                EXPECT_GT(std::string(e.what()).size(), c.failure->size()) << "the parser's text is missing";
            } else {
                EXPECT_EQ(std::string(e.what()), *c.failure);
            }
        }
    } else {
        controller.Refresh();
    }
    EXPECT_EQ(controller.GetMinimumVersion(), c.minimum);
    EXPECT_EQ(controller.GetStage2FileName(), c.fileName);
    EXPECT_EQ(controller.GetStage2FileNameArm64(), c.fileNameArm64);
    const std::string log = Log();
    for (const std::string& line : c.errorLines)
        EXPECT_THAT(log, HasSubstr(" ERROR : " + line + "\r\n"));
    if (c.errorLines.empty()) {
        EXPECT_THAT(log, Not(HasSubstr(" ERROR : ")));
    }
}

const std::string kInvalid = "Invalid JSON received for Global Settings: ";

INSTANTIATE_TEST_SUITE_P(
    Documents, KelmControllerDocumentTest,
    ::testing::Values(
        DocumentCase{"AllThreeReplaced",
                     R"({"stage2-filename-arm64":"a.tar.gz","stage1-minimum-supported-version":"2.0","stage2-filename":"x/s2.tar.gz"})",
                     std::nullopt, false, "2.0", L"x/s2.tar.gz", L"a.tar.gz", {}},
        DocumentCase{"UnnamedMembersKeepTheirValues", R"({"stage2-filename":"new.tar.gz"})", std::nullopt, false,
                     "1.2.3", L"new.tar.gz", L"old-arm.tar.gz", {}},
        DocumentCase{"UnknownAndNearlyMatchingKeysIgnored",
                     R"({"Stage2-Filename":"a.tar.gz","stage2-filename ":"b.tar.gz","stage2":{"stage2-filename":"c.tar.gz"},"z":[1]})",
                     std::nullopt, false, "1.2.3", L"old.tar.gz", L"old-arm.tar.gz", {}},
        DocumentCase{"EmptyStringsAreValues", R"({"stage2-filename":"","stage1-minimum-supported-version":""})",
                     std::nullopt, false, "", L"", L"old-arm.tar.gz", {}},
        DocumentCase{"NonStringValuesKeepTheOldValue",
                     R"({"stage2-filename":5,"stage1-minimum-supported-version":null,"stage2-filename-arm64":["x.tar.gz"]})",
                     std::nullopt, false, "1.2.3", L"old.tar.gz", L"old-arm.tar.gz",
                     {"Unknown data type expected string for: stage2-filename",
                      "Unknown data type expected string for: stage1-minimum-supported-version",
                      "Unknown data type expected string for: stage2-filename-arm64"}},
        DocumentCase{"Array", R"(["stage2-filename","x.tar.gz"])", kInvalid, false, "1.2.3", L"old.tar.gz",
                     L"old-arm.tar.gz", {}},
        DocumentCase{"String", R"("stage2-filename")", kInvalid, false, "1.2.3", L"old.tar.gz", L"old-arm.tar.gz", {}},
        DocumentCase{"Null", "null", kInvalid, false, "1.2.3", L"old.tar.gz", L"old-arm.tar.gz", {}},
        DocumentCase{"EmptyBody", "", kInvalid, true, "1.2.3", L"old.tar.gz", L"old-arm.tar.gz", {}},
        DocumentCase{"CutShort", R"({"stage2-filename":"new.tar.gz")", kInvalid, true, "1.2.3", L"old.tar.gz",
                     L"old-arm.tar.gz", {}},
        DocumentCase{"TrailingText", R"({"stage2-filename":"new.tar.gz"} x)", kInvalid, true, "1.2.3", L"old.tar.gz",
                     L"old-arm.tar.gz", {}},
        DocumentCase{"NumberOutOfRange", R"({"stage2-filename":"new.tar.gz","n":1e999})", kInvalid, true, "1.2.3",
                     L"old.tar.gz", L"old-arm.tar.gz", {}},
        DocumentCase{"BadUtf8", "{\"stage2-filename\":\"a\xff.tar.gz\"}", kInvalid, true, "1.2.3", L"old.tar.gz",
                     L"old-arm.tar.gz", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KelmControllerTest, DeeplyNestedDocumentFailsCleanly)
{
    // A hostile body: nesting far deeper than any real document.
    const std::string body = std::string(200000, '[') + std::string(200000, ']');
    Refresh(kFirstDocument);
    EXPECT_CALL(client, GetConfiguration()).WillOnce(Return(body));
    try {
        controller.Refresh();
        FAIL() << "no failure";
    } catch (const FatalError& e) {
        EXPECT_EQ(std::string(e.what()), kInvalid);
    }
    EXPECT_EQ(controller.GetStage2FileName(), L"old.tar.gz");
}

TEST_F(KelmControllerTest, FetchFailurePassesUnchanged)
{
    Refresh(kFirstDocument);
    EXPECT_CALL(client, GetConfiguration())
        .WillOnce(::testing::Throw(FatalError("Failed to retrieve kelm: Connection failed", FatalError::DownloadFailure)));
    try {
        controller.Refresh();
        FAIL() << "no failure";
    } catch (const FatalError& e) {
        EXPECT_EQ(e.Code(), FatalError::DownloadFailure);
        EXPECT_EQ(std::string(e.what()), "Failed to retrieve kelm: Connection failed");
    }
    EXPECT_EQ(controller.GetMinimumVersion(), "1.2.3");
}

struct RetirementCase {
    const char* name;
    std::optional<std::string> minimum;  // not in the document when empty
    bool retired;
};

void PrintTo(const RetirementCase& c, std::ostream* out)
{
    *out << c.name;
}

class KelmControllerRetirementTest : public KelmControllerTest,
                                     public ::testing::WithParamInterface<RetirementCase> {};

TEST_P(KelmControllerRetirementTest, ComparesWithTheMinimum)
{
    const RetirementCase& c = GetParam();
    Refresh(c.minimum ? R"({"stage1-minimum-supported-version":")" + *c.minimum + "\"}" : std::string("{}"));
    EXPECT_EQ(controller.IsStage1Retired(S1::kStage1Version), c.retired);
}

const std::string kThisVersion = S1::kStage1Version;

INSTANTIATE_TEST_SUITE_P(
    Minimums, KelmControllerRetirementTest,
    ::testing::Values(RetirementCase{"Missing", std::nullopt, false},
                      RetirementCase{"Equal", kThisVersion, false},
                      RetirementCase{"EqualWithTrailingZero", kThisVersion + ".0", false},
                      RetirementCase{"HigherInAnExtraComponent", kThisVersion + ".1", true},
                      RetirementCase{"HigherMajor", "99", true},
                      RetirementCase{"Lower", "0.9.9.9999", false},
                      RetirementCase{"Zero", "0.0.0", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KelmControllerTest, MalformedMinimumThrows)
{
    for (const char* minimum : {"1.x", "-1", "1..2", "abc"}) {
        Refresh(std::string(R"({"stage1-minimum-supported-version":")") + minimum + "\"}");
        EXPECT_ANY_THROW(controller.IsStage1Retired(S1::kStage1Version)) << minimum;
    }
    Refresh(R"({"stage1-minimum-supported-version":"-1"})");
    try {
        controller.IsStage1Retired(S1::kStage1Version);
        FAIL() << "no failure";
    } catch (const FatalError&) {
        FAIL() << "a malformed version is no download failure";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Negative version numbers.");
    }
}

}  // namespace
