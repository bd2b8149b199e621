#include <gtest/gtest.h>

#include "Installer/Stage1Settings.h"

namespace {

TEST(MergeSettings, CommandLineWinsWhenGivenAndNotEmpty)
{
    S1::StampedSettings stamp;
    stamp.installerServer = L"stamp.halvex.com";
    stamp.customerToken = L"stamp-token";
    stamp.products = L"stamp_products";
    stamp.customerId = L"11111111-2222-3333-4444-555555555555";
    stamp.partnerId = L"partner";
    stamp.customerEstateId = L"estate";
    CommandLineOptions options;
    options.epinstallerserver = L"";
    options.customertoken = L"cli-token";
    options.products = L"";
    options.qorcustomerid = L"";
    options.userid = L"";
    const Stage1Settings merged = mergeSettings(stamp, options);
    EXPECT_EQ(merged.epinstallerserver, L"stamp.halvex.com");
    EXPECT_EQ(merged.customertoken, L"cli-token");
    EXPECT_EQ(merged.products, L"stamp_products");
    EXPECT_EQ(merged.qorcustomerid, stamp.customerId);
    EXPECT_FALSE(merged.userid) << "the stamp's own optional, not engaged";
    EXPECT_EQ(merged.partnerid, L"partner");
    EXPECT_EQ(merged.estateid, L"estate");
    EXPECT_TRUE(merged.mgmtserver.empty());
    EXPECT_FALSE(merged.telemserver);
}

TEST(MergeSettings, ProxyCandidatesInOrder)
{
    CommandLineOptions options;
    options.proxyaddress = "relay-b:3128";
    options.messagerelays = {L"relay-b:3128", L"relay-a:8000"};
    const Stage1Settings merged = mergeSettings({}, options);
    ASSERT_TRUE(merged.customerProxy);
    EXPECT_EQ(merged.customerProxy->username, "");
    const std::vector<Proxy> order(merged.proxies.begin(), merged.proxies.end());
    const std::vector<Proxy> expected = {Proxy(MessageRelay, "relay-a:8000", "", ""),
                                         Proxy(MessageRelay, "relay-b:3128", "", ""),
                                         Proxy(Customer, "relay-b:3128", "", "")};
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(mergeSettings({}, {}).proxies.empty());
}

}  // namespace
