#include <gtest/gtest.h>

#include <exception>

#include "Utilities/FatalError.h"

using Setup::FatalError;
using Setup::GetReportName;

namespace {

TEST(FatalError, ReportNames)
{
    const std::pair<int, const wchar_t*> expected[] = {
        {0, L"unknown"},
        {1, L"extra_file_in_package"},
        {2, L"manifest_error"},
        {3, L"invalid_blob_data"},
        {4, L"invalid_customer_token"},
        {5, L"invalid_installer_server"},
        {6, L"invalid_qorcustomer_id"},
        {7, L"invalid_user_id"},
        {8, L"invalid_products"},
        {9, L"download_failure"},
        {10, L"expired_failure"},
        {11, L"extract_failure"},
        {12, L"launch_failure"},
        {13, L"unknown"},
        {-1, L"unknown"},
    };
    for (const auto& [code, name] : expected)
        EXPECT_EQ(GetReportName(code), name) << code;
}

TEST(FatalError, StoredAndRethrownKeepsTextAndCode)
{
    std::exception_ptr stored;
    try {
        throw FatalError("Stage 2 fatal error", FatalError::ExpiredFailure);
    } catch (...) {
        stored = std::current_exception();
    }
    try {
        std::rethrow_exception(stored);
    } catch (const std::runtime_error& e) {
        const auto* fatal = dynamic_cast<const FatalError*>(&e);
        ASSERT_NE(fatal, nullptr);
        EXPECT_STREQ(fatal->what(), "Stage 2 fatal error");
        EXPECT_EQ(fatal->Code(), FatalError::ExpiredFailure);
    }
    const FatalError copy = FatalError("copied", FatalError::LaunchFailure);
    const FatalError second(copy);
    EXPECT_STREQ(second.what(), "copied");
    EXPECT_EQ(second.Code(), 12);
}

}  // namespace
