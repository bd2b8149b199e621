#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Resources/Version.h"
#include "support/Matchers.h"
#include "support/TempFolder.h"
#include "Utilities/Module.h"
#include "Utilities/Version.h"

namespace {

using utilities::CompareVersions;

struct Comparison {
    const char* first;
    const char* second;
    int expected;
};

TEST(CompareVersions, OrdersNumericallyWithMissingComponentsAsZero)
{
    const std::vector<Comparison> table = {
        {"1.4.0.397", "1.4.0.398", -1},
        {"2", "1.99.99", 1},
        {"1.2", "1.2.0", 0},
        {"1.2", "1.2.0.0", 0},
        {"1.2.0.1", "1.2", 1},
        {"1.10", "1.9", 1},  // numbers, not texts
        {"01.002", "1.2", 0},
        {"0.0.0.0.0.1", "0", 1},  // more than four components
        {"1.2.3.4.5.6", "1.2.3.4.5.6", 0},
        {"2147483647", "2147483646", 1},
        {"4.2147483647", "4.0", 1},
        {" 1.+2.\t3", "1.2.3", 0},  // leading white space and a plus sign, as std::stoi reads them
        {"-0", "0", 0},
    };
    for (const Comparison& row : table) {
        EXPECT_EQ(CompareVersions(row.first, row.second), row.expected) << row.first << " vs " << row.second;
        EXPECT_EQ(CompareVersions(row.second, row.first), -row.expected) << row.second << " vs " << row.first;
    }
}

enum class Failure { InvalidArgument, OutOfRange, Runtime };

struct Malformed {
    const char* first;
    const char* second;
    Failure failure;
    const char* message;
};

TEST(CompareVersions, MalformedComponentsThrow)
{
    const std::vector<Malformed> table = {
        {"1.-2", "1.2", Failure::Runtime, "Negative version numbers."},
        {"-2147483648", "0", Failure::Runtime, "Negative version numbers."},
        {"1.2a", "1.2", Failure::Runtime, "Invalid argument."},
        {"1.2 ", "1.2", Failure::Runtime, "Invalid argument."},
        {"1.0x1", "1.0", Failure::Runtime, "Invalid argument."},
        {"-2a", "1", Failure::Runtime, "Invalid argument."},  // left-over characters are found first
        {"1..2", "1.0.2", Failure::InvalidArgument, "invalid stoi argument"},
        {"1.", "1", Failure::InvalidArgument, "invalid stoi argument"},
        {"", "1", Failure::InvalidArgument, "invalid stoi argument"},
        {"-", "1", Failure::InvalidArgument, "invalid stoi argument"},
        {"1. ", "1", Failure::InvalidArgument, "invalid stoi argument"},
        {"2147483648", "1", Failure::OutOfRange, "stoi argument out of range"},
        {"-2147483649", "1", Failure::OutOfRange, "stoi argument out of range"},
        {"1.99999999999999999999999", "1", Failure::OutOfRange, "stoi argument out of range"},
        {"99999999999x", "1", Failure::OutOfRange, "stoi argument out of range"},
        // Found in the second text, and after an earlier component has already decided.
        {"1.2", "1.1x", Failure::Runtime, "Invalid argument."},
        {"2.1x", "1.0", Failure::Runtime, "Invalid argument."},
        {"1", "1.0.0.-1", Failure::Runtime, "Negative version numbers."},
        // The first text's piece is read before the second's at the same index.
        {"1.1a", "1.-1", Failure::Runtime, "Invalid argument."},
        {"1.-1", "1.1a", Failure::Runtime, "Negative version numbers."},
        {"1.a", "1.-1", Failure::InvalidArgument, "invalid stoi argument"},
    };
    for (const Malformed& row : table) {
        const std::string label = std::string("\"") + row.first + "\" vs \"" + row.second + "\"";
        try {
            CompareVersions(row.first, row.second);
            ADD_FAILURE() << label << ": no exception";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), row.message) << label;
            switch (row.failure) {
            case Failure::InvalidArgument:
                EXPECT_NE(dynamic_cast<const std::invalid_argument*>(&e), nullptr) << label;
                break;
            case Failure::OutOfRange:
                EXPECT_NE(dynamic_cast<const std::out_of_range*>(&e), nullptr) << label;
                break;
            case Failure::Runtime:
                EXPECT_NE(dynamic_cast<const std::runtime_error*>(&e), nullptr) << label;
                break;
            }
        }
    }
}

TEST(GetFileVersion, OfThisProgramIsTheInstallersResource)
{
    // The tests link the installer's version resource.
    EXPECT_EQ(utilities::GetFileVersion(utilities::Module::Path()), HALVEX_STAGE1_VERSION_TEXT);
    EXPECT_EQ(utilities::CompareVersions(utilities::GetFileVersion(utilities::Module::Path()), "1.4.0.397"), 0);
}

TEST(GetFileVersion, FilesWithoutAVersionResourceNameTheError)
{
    test::TempFolder folder;
    try {
        utilities::GetFileVersion((folder / L"missing.exe").wstring());
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to get file version info size. Error code: 2");
    }

    std::ofstream(folder / L"plain.dll") << "not a module";
    try {
        utilities::GetFileVersion((folder / L"plain.dll").wstring());
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), test::MatchesEcmaRegex("Failed to get file version info size\\. Error code: [1-9][0-9]*"));
    }
}

}  // namespace
