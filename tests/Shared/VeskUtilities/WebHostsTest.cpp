#include <gtest/gtest.h>

#include "Shared/VeskUtilities/WebHosts.h"

using namespace Vesk::Utilities;

namespace {

TEST(WebHosts, EnvironmentsAndTheirDefault)
{
    EXPECT_EQ(GetWebHost(std::nullopt), GetWebHost(L"prod"));
    EXPECT_EQ(GetWebHost(L"Dev"), GetWebHost(L"DEV"));
    EXPECT_NE(GetWebHost(L"dev"), GetWebHost(L"prod"));
    EXPECT_EQ(GetWebHost(L"qa-misspelt"), GetWebHost(L"PROD"));
    EXPECT_EQ(GetWebHost(L""), GetWebHost(L"PROD"));
    EXPECT_EQ(GetServiceHost(L"qa"), L"s." + GetWebHost(L"QA"));
    EXPECT_EQ(GetAccountsUrl(L"SB"), L"https://accounts." + GetWebHost(L"sb"));
}

}  // namespace
