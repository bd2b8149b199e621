#include <windows.h>

#include <gtest/gtest.h>

#include <system_error>

#include "halvlib/ErrorCategory.h"
#include "halvlib/String.h"

using halvlib::string::FormatNumber;
using halvlib::string::ToUtf16;
using halvlib::string::ToUtf8;

namespace {

struct RoundTrip {
    const char* name;
    std::wstring wide;
    std::string utf8;
};

void PrintTo(const RoundTrip& c, std::ostream* out)
{
    *out << c.name;
}


class ConversionRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(ConversionRoundTrip, StrictAndLenientAgreeBothWays)
{
    const RoundTrip& c = GetParam();
    EXPECT_EQ(ToUtf8(c.wide), c.utf8);
    EXPECT_EQ(ToUtf16(c.utf8), c.wide);
    EXPECT_EQ(WideToUtf8(c.wide), c.utf8);
    EXPECT_EQ(Utf8ToWide(c.utf8), c.wide);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ConversionRoundTrip,
    ::testing::Values(RoundTrip{"Empty", L"", ""}, RoundTrip{"Ascii", L"C:\\Program Files\\Halvex", "C:\\Program Files\\Halvex"},
                      RoundTrip{"TwoByte", L"Gr\u00fc\u00dfe", "Gr\xc3\xbc\xc3\x9f" "e"},
                      RoundTrip{"ThreeByte", L"\u65e5\u672c", "\xe6\x97\xa5\xe6\x9c\xac"},
                      RoundTrip{"SurrogatePair", L"\U0001F600", "\xf0\x9f\x98\x80"},
                      RoundTrip{"EmbeddedNul", std::wstring(L"a\0b", 3), std::string("a\0b", 3)}),
    [](const auto& info) { return info.param.name; });

TEST(Conversion, ThreeBytesPerUnitIsEnough)
{
    const std::wstring text(1000, L'\u20ac');
    const std::string utf8 = ToUtf8(text);
    EXPECT_EQ(utf8.size(), 3000u);
    EXPECT_EQ(ToUtf16(utf8), text);
}

TEST(Conversion, InvalidInputBecomesReplacementCharacters)
{
    EXPECT_EQ(ToUtf16(std::string("a\xff" "b")), L"a\ufffd" L"b");
    EXPECT_EQ(Utf8ToWide(std::string("a\xff" "b")), L"a\ufffd" L"b");
    const std::wstring loneSurrogate = std::wstring(L"a") + wchar_t(0xD800) + L"b";
    EXPECT_EQ(ToUtf8(loneSurrogate), "a\xef\xbf\xbd" "b");
}

TEST(Conversion, StrictConvertersThrowInTheInHouseCategory)
{
    // A null text with a length is refused by the system call itself.
    try {
        ToUtf16(nullptr, 4);
        FAIL() << "no exception";
    } catch (const std::system_error& e) {
        EXPECT_EQ(&e.code().category(), &halvlib::string::GetErrorCategory());
        EXPECT_EQ(e.code().value(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(std::string(e.what()).rfind("Error converting UTF-8 string to UTF-16: ", 0), 0u) << e.what();
    }
    try {
        ToUtf8(nullptr, 4);
        FAIL() << "no exception";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(std::string(e.what()).rfind("Error converting UTF-16 string to UTF-8: ", 0), 0u) << e.what();
    }
}

TEST(Conversion, EmptyInputNeverReachesTheSystem)
{
    // A null pointer would make the system call fail: empty input must not make it.
    EXPECT_EQ(ToUtf8(nullptr, 0), "");
    EXPECT_EQ(ToUtf16(nullptr, 0), L"");
    EXPECT_EQ(WideToUtf8(nullptr, 0), "");
    EXPECT_EQ(Utf8ToWide(nullptr, 0), L"");
}

TEST(FormatNumber, DecimalAndHResult)
{
    EXPECT_EQ(FormatNumber(0, 0), L"0");
    EXPECT_EQ(FormatNumber(4294967295u, 0), L"4294967295");
    EXPECT_EQ(FormatNumber(0x80070005u, 1), L"hr:0x80070005");
    EXPECT_EQ(FormatNumber(5, 1), L"hr:0x00000005");
    EXPECT_THROW(FormatNumber(5, 2), std::logic_error);
}

}  // namespace
