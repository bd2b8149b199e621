#include <gtest/gtest.h>

#include "Utilities/Proxy.h"

namespace {

TEST(Proxy, WithoutAnAddressItIsADirectConnection)
{
    const Proxy direct(Customer, "", "user", "password");
    EXPECT_EQ(direct.type, EmptyProxy);
    EXPECT_EQ(direct.username, "");
    EXPECT_EQ(direct.password, "");
    EXPECT_STREQ(ProxyTypeName(AutoDiscovered), "Auto-Discovered");
    EXPECT_STREQ(ProxyTypeName(MessageRelay), "Message Relay");
}

}  // namespace
