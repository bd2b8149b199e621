#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Shared/VeskUtilities/ResourceHelper.h"

using Vesk::Utilities::Resources::ResourceHelper;

namespace {

TEST(ResourceHelper, LoadsOnlyBinaryResources)
{
    struct Case {
        int id;
        std::optional<std::string> bytes;
    };
    const Case cases[] = {
        {7701, std::string("Halvex\0res\xff\r\n", 13)},
        {7702, std::nullopt},  // present only as RCDATA
        {7703, std::string("binary")},
        {7704, std::string()},
        {7799, std::nullopt},
    };
    ResourceHelper resources(GetModuleHandleW(nullptr));
    for (const Case& c : cases)
        EXPECT_EQ(resources.Load(c.id), c.bytes) << c.id;
}

}  // namespace
