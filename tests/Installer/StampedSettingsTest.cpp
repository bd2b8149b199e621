#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "halvlib/ErrorCategory.h"
#include "halvlib/String.h"
#include "Installer/StampedSettings.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "Utilities/FatalError.h"
#include "Utilities/Raii.h"

using ::testing::StartsWith;
using Setup::FatalError;
using S1::StampMap;

namespace {

const std::string kMarker = "---BEGIN_BLOB---";
const std::string kNul(1, '\0');
constexpr std::uint32_t kDosSize = 64;
constexpr std::uint32_t kNtSize = 248;

void Put32(std::string& image, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        image[at + i] = static_cast<char>(value >> (8 * i));
}

// The smallest file the reader takes: a DOS header, the NT headers at ntOffset and the security
// data right after them; whatever follows is outside the security data.
std::string Image(const std::string& security, const std::string& after = "", std::uint32_t ntOffset = kDosSize)
{
    std::string image(ntOffset + kNtSize, '\0');
    image.replace(0, 2, "MZ");
    Put32(image, 60, ntOffset);
    image.replace(ntOffset, 4, std::string("PE\0\0", 4));
    Put32(image, ntOffset + 152, static_cast<std::uint32_t>(image.size()));
    Put32(image, ntOffset + 156, static_cast<std::uint32_t>(security.size()));
    return image + security + after;
}

std::string WithNtOffset(std::string image, std::uint32_t offset)
{
    Put32(image, 60, offset);
    return image;
}

std::string WithSecurity(std::string image, std::uint32_t offset, std::uint32_t size)
{
    Put32(image, kDosSize + 152, offset);
    Put32(image, kDosSize + 156, size);
    return image;
}

std::string WithByte(std::string image, std::size_t at, char value)
{
    image[at] = value;
    return image;
}

class ReadStampBlob : public ::testing::Test {
protected:
    std::wstring Write(const std::string& bytes)
    {
        const std::filesystem::path path = folder / (L"image" + std::to_wstring(++count) + L".exe");
        std::ofstream(path, std::ios::binary) << bytes;
        return path.wstring();
    }

    test::TempFolder folder;
    int count = 0;
};

TEST_F(ReadStampBlob, TakesTheTextAfterTheFirstMarker)
{
    // The stamp tool's layout: a certificate-entry header, the marker, the lines, a zero byte and
    // padding to eight bytes.
    const std::string entry = std::string("\x28\0\0\0\0\x02\x02\0", 8) + kMarker + "A=1\nB=2\n" + kNul + "\0\0\0\0\0\0\0";
    const struct {
        const char* name;
        std::string image;
        std::string text;
    } cases[] = {
        {"certificate entry", Image(entry), "A=1\nB=2\n"},
        {"marker at an odd position", Image("xyz" + kMarker + "K=V" + kNul + "junk"), "K=V"},
        {"empty text", Image(kMarker + kNul + "K=V"), ""},
        {"marker in the last 16 bytes", Image("12345" + kMarker, "K=V"), ""},
        {"no zero byte: to the end of the security data", Image(kMarker + "K=V", "trailing"), "K=V"},
        {"first of two markers", Image(kMarker + "A=1" + kNul + kMarker + "B=2"), "A=1"},
        {"NT headers after a gap", Image(kMarker + "N=1", "", 100), "N=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(S1::readStampBlob(Write(c.image)), c.text);
    }
}

TEST_F(ReadStampBlob, RefusesFilesWithoutAStamp)
{
    const std::string dos = "Failed to read full IMAGE_DOS_HEADER from file";
    const std::string nt = "Failed to read full IMAGE_NT_HEADERS32 from file";
    const std::string security = "Failed to read full IMAGE_DIRECTORY_ENTRY_SECURITY from file";
    const std::string none = "Blob not embedded in file";
    const std::string good = Image(kMarker + "K=V");
    const std::uint32_t end = static_cast<std::uint32_t>(good.size());
    const std::uint32_t securityStart = kDosSize + kNtSize;
    const struct {
        const char* name;
        std::string image;
        std::string message;
    } cases[] = {
        {"empty file", "", dos},
        {"63 bytes", good.substr(0, 63), dos},
        {"no MZ", WithByte(good, 1, 'z'), "Invalid IMAGE_DOS_SIGNATURE"},
        {"NT headers cut short", good.substr(0, securityStart - 1), nt},
        {"NT offset at the end", WithNtOffset(good, end), nt},
        {"NT offset past the end", WithNtOffset(good, 0x7fffffff), nt},
        {"NT offset negative", WithNtOffset(good, 0xfffffffc), nt},
        {"NT offset most negative", WithNtOffset(good, 0x80000000), nt},
        {"NT headers running past the end", WithNtOffset(good, end - kNtSize + 1), nt},
        {"no PE signature", WithByte(good, kDosSize + 3, '\x01'), "Invalid IMAGE_NT_SIGNATURE"},
        {"security size one past the end", WithSecurity(good, securityStart, end - securityStart + 1), security},
        {"security size huge", WithSecurity(good, securityStart, 0xffffffff), security},
        {"security offset past the end", WithSecurity(good, 0xfffffff0, 16), security},
        {"security offset at the end", WithSecurity(good, end, 16), security},
        {"unsigned file", WithSecurity(good, 0, 0), none},
        {"security data of 15 bytes", WithSecurity(good, securityStart, 15), none},
        {"marker cut by the end of the security data", WithSecurity(Image(kMarker), securityStart, 15), none},
        {"marker partly after the security data", Image(kMarker.substr(0, 8), kMarker.substr(8)), none},
        {"no marker", Image(std::string(64, '-') + "K=V"), none},
        {"marker with another case", Image("---begin_blob---K=V"), none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const std::string text = S1::readStampBlob(Write(c.image));
            ADD_FAILURE() << "read \"" << text << "\"";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), c.message);
            EXPECT_EQ(dynamic_cast<const std::system_error*>(&e), nullptr);
        }
    }
}

TEST_F(ReadStampBlob, MissingFileIsASystemError)
{
    const std::wstring path = (folder / L"missing-\u00e9.exe").wstring();
    try {
        S1::readStampBlob(path);
        FAIL() << "read a missing file";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(&e.code().category(), &halvlib::string::GetErrorCategory());
        const std::string utf8Path = WideToUtf8(folder.Path().wstring()) + "\\missing-\xc3\xa9.exe";
        EXPECT_THAT(e.what(), StartsWith("Failed to open file '" + utf8Path + ": "));
    }
}

// The launcher may hold its file open for writing and deleting while the installer reads it.
TEST_F(ReadStampBlob, ReadsAFileThatIsOpenElsewhere)
{
    const std::wstring path = Write(Image(kMarker + "K=V"));
    const FileHandleGuard other(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(other.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(S1::readStampBlob(path), "K=V");
}

TEST(ReadStampBlobOfTheBuild, IsEmpty)
{
    EXPECT_EQ(S1::readStampBlob(test::FromBuildPath(HALVEX_INSTALL_EXE)), "");
}

std::vector<std::pair<std::string, std::string>> Lines(const StampMap& stamp)
{
    return {stamp.begin(), stamp.end()};
}

TEST(ParseStampBlob, SplitsLinesAtTheFirstEquals)
{
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    const struct {
        std::string text;
        Pairs lines;
    } cases[] = {
        {"", {}},
        {"\n\n", {}},
        {"A=1", {{"A", "1"}}},
        {"A=1\nB=2\n", {{"A", "1"}, {"B", "2"}}},
        {"KEY=", {{"KEY", ""}}},
        {"=value", {{"", "value"}}},
        {"no equals\nA=1", {{"A", "1"}}},
        {"A=b=c", {{"A", "b=c"}}},
        {"A=1\r\nB=2\r\n", {{"A", "1\r"}, {"B", "2\r"}}},
        {" A = 1 ", {{" A ", " 1 "}}},
        {"B=2\nA=first\nA=second\nA=", {{"A", "first"}, {"A", "second"}, {"A", ""}, {"B", "2"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Lines(S1::parseStampBlob(c.text)), c.lines) << c.text;
}

const std::string kToken = "abcdefghijklmnopqrstuvwxyz0123456789";
const std::string kGuid = "0f8fad5b-d9cb-469f-a165-70867728950e";

TEST(MakeStampedSettings, EmptyStampGivesEmptySettings)
{
    const S1::StampedSettings settings = S1::makeStampedSettings({});
    EXPECT_EQ(settings.installerServer, L"");
    EXPECT_EQ(settings.customerToken, L"");
    EXPECT_EQ(settings.products, L"");
    EXPECT_FALSE(settings.customerId);
    EXPECT_FALSE(settings.partnerId);
    EXPECT_FALSE(settings.customerEstateId);
    EXPECT_FALSE(settings.userId);
}

TEST(MakeStampedSettings, TakesTheFirstValueOfEachKey)
{
    const S1::StampedSettings settings = S1::makeStampedSettings(S1::parseStampBlob(
        "EP_INSTALLER_SERVER=eu.halvex.com\nCUSTOMER_TOKEN=" + kToken + "\nPRODUCTS=vesk_av,edr\n"
        "CUSTOMER_ID=" + kGuid + "\nPARTNER_ID=0F8FAD5B-D9CB-469F-A165-70867728950E\nCUSTOMER_ESTATE_ID=" + kGuid +
        "\nUSER_ID=user-1\nUSER_ID=not valid\nPRODUCTS=not valid\nAFFILIATE=x\n"));
    EXPECT_EQ(settings.installerServer, L"eu.halvex.com");
    EXPECT_EQ(settings.customerToken, L"abcdefghijklmnopqrstuvwxyz0123456789");
    EXPECT_EQ(settings.products, L"vesk_av,edr");
    EXPECT_EQ(settings.customerId, L"0f8fad5b-d9cb-469f-a165-70867728950e");
    EXPECT_EQ(settings.partnerId, L"0F8FAD5B-D9CB-469F-A165-70867728950E");
    EXPECT_EQ(settings.customerEstateId, L"0f8fad5b-d9cb-469f-a165-70867728950e");
    EXPECT_EQ(settings.userId, L"user-1");
}

TEST(MakeStampedSettings, EmptyValuesAreNotCheckedAndEngageTheOptionals)
{
    const S1::StampedSettings settings = S1::makeStampedSettings(S1::parseStampBlob(
        "EP_INSTALLER_SERVER=\nCUSTOMER_ID=\nPARTNER_ID=\nCUSTOMER_ESTATE_ID=\nUSER_ID=\n"));
    EXPECT_EQ(settings.installerServer, L"");
    EXPECT_EQ(settings.customerId, L"");
    EXPECT_EQ(settings.partnerId, L"");
    EXPECT_EQ(settings.customerEstateId, L"");
    EXPECT_EQ(settings.userId, L"");

    // A stamp of only other keys is not empty, yet sets nothing.
    const S1::StampedSettings other = S1::makeStampedSettings(S1::parseStampBlob("AFFILIATE=x\n"));
    EXPECT_FALSE(other.customerId);
    EXPECT_FALSE(other.userId);
    EXPECT_EQ(other.installerServer, L"");
}

TEST(MakeStampedSettings, InvalidValueIsInvalidBlobData)
{
    const struct {
        std::string stamp;
        std::string message;
    } cases[] = {
        {"CUSTOMER_TOKEN=short", "Customer token not the right size"},
        {"PRODUCTS=a b", "Products string contains illegal characters"},
        {"EP_INSTALLER_SERVER=halvex.com", "Server name doesn't have an expected value"},
        {"CUSTOMER_ID=x", "GUID has invalid format"},
        {"PARTNER_ID=x", "GUID has invalid format"},
        {"CUSTOMER_ESTATE_ID=x", "GUID has invalid format"},
        {"USER_ID=a_b", "User ID string contains illegal characters"},
        // A carriage return of a CR LF stamp stays in the value.
        {"CUSTOMER_TOKEN=" + kToken + "\r\n", "Customer token not the right size"},
        // The first value counts, also when a later one would pass.
        {"USER_ID=a_b\nUSER_ID=ab", "User ID string contains illegal characters"},
        // The keys are checked in a fixed order, whatever the line order.
        {"USER_ID=a_b\nEP_INSTALLER_SERVER=x\nPRODUCTS=a b\nCUSTOMER_TOKEN=short", "Customer token not the right size"},
        {"USER_ID=a_b\nEP_INSTALLER_SERVER=x\nPRODUCTS=a b", "Products string contains illegal characters"},
        {"USER_ID=a_b\nCUSTOMER_ID=x\nEP_INSTALLER_SERVER=x", "Server name doesn't have an expected value"},
        {"USER_ID=a_b\nCUSTOMER_ID=x", "GUID has invalid format"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stamp);
        try {
            S1::makeStampedSettings(S1::parseStampBlob(c.stamp));
            ADD_FAILURE() << "accepted";
        } catch (const FatalError& e) {
            EXPECT_EQ(e.what(), c.message);
            EXPECT_EQ(e.Code(), FatalError::InvalidBlobData);
        }
    }
}

}  // namespace
