#include <windows.h>

#include <gtest/gtest.h>

#include "halvlib/ErrorCategory.h"

using halvlib::string::GetErrorCategory;
using halvlib::string::GetErrorMessage;

namespace {

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(ErrorCategory, NameAndSystemMessages)
{
    EXPECT_STREQ(GetErrorCategory().name(), "HalvlibErrorCategory");
    const std::string message = GetErrorCategory().message(ERROR_ACCESS_DENIED);
    EXPECT_TRUE(EndsWith(message, " (5)")) << message;
    EXPECT_NE(message.rfind("Unknown error", 0), 0u) << message;
    // Trimmed: the system's texts end with a line break.
    EXPECT_NE(message.find_first_not_of(" \t\r\n"), std::string::npos);
    EXPECT_NE(message.front(), ' ');
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
}

TEST(ErrorCategory, UnknownCodeFallsBack)
{
    EXPECT_EQ(GetErrorCategory().message(0x2000ABCD), "Unknown error (536914893)");
    EXPECT_EQ(GetErrorMessage(0x2000ABCD, 1), "Unknown error (hr:0x2000abcd)");
}

TEST(ErrorCategory, ThrowHelpersComposeTextAndMessage)
{
    try {
        SetLastError(ERROR_FILE_NOT_FOUND);
        ThrowLastError("CreateFileW failed");
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(std::string(e.what()), "CreateFileW failed: " + GetErrorMessage(ERROR_FILE_NOT_FOUND, 0));
        EXPECT_TRUE(EndsWith(e.what(), " (2)")) << e.what();
    }
    EXPECT_THROW(ThrowSystemError(0x2000ABCD, "x"), std::system_error);
}

}  // namespace
