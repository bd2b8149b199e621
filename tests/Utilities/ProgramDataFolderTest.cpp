#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <vector>

#include "halvlib/String.h"
#include "support/TempFolder.h"
#include "Utilities/ProgramDataFolder.h"

using utilities::EnsureProgramDataFolder;

namespace {

LocalMemoryGuard SidFromString(const wchar_t* text)
{
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidW(text, &sid)) << GetLastError();
    return LocalMemoryGuard(sid);
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type)
{
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size)) << GetLastError();
    sid.resize(size);
    return sid;
}

std::string ErrorOf(bool bypass, const std::wstring& folder)
{
    try {
        EnsureProgramDataFolder(bypass, folder);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

TEST(ProgramDataFolder, OnlyAdministratorsAndSystemAreTrustedOwners)
{
    const struct {
        const wchar_t* sid;
        bool trusted;
    } cases[] = {
        {L"BA", true},  {L"SY", true}, {L"BU", false}, {L"WD", false},
        {L"S-1-5-21-1004336348-1177238915-682003330-1001", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(utilities::IsTrustedOwner(SidFromString(c.sid).get()), c.trusted) << WideToUtf8(c.sid);
    EXPECT_FALSE(utilities::IsTrustedOwner(nullptr));
}

TEST(ProgramDataFolder, OnlyAPlainFolderOfATrustedOwnerIsKept)
{
    // Wine owns every folder by the Unix user and makes no links: the decision is tested alone.
    auto administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    auto system = WellKnownSid(WinLocalSystemSid);
    auto users = WellKnownSid(WinBuiltinUsersSid);
    auto world = WellKnownSid(WinWorldSid);
    auto creatorOwner = WellKnownSid(WinCreatorOwnerSid);
    const DWORD folder = FILE_ATTRIBUTE_DIRECTORY;
    const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    const struct {
        const char* what;
        DWORD attributes;
        PSID owner;
        bool refused;
    } cases[] = {
        {"folder of Administrators", folder, administrators.data(), false},
        {"folder of LocalSystem", folder, system.data(), false},
        {"hidden read-only system folder", folder | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM,
         system.data(), false},
        {"folder of Users", folder, users.data(), true},
        {"folder of Everyone", folder, world.data(), true},
        {"folder of CREATOR OWNER", folder, creatorOwner.data(), true},
        {"folder without an owner", folder, nullptr, true},
        {"link of Administrators", link, administrators.data(), true},
        {"link of LocalSystem", link, system.data(), true},
        {"link of Users", link, users.data(), true},
        {"file of Administrators", FILE_ATTRIBUTE_ARCHIVE, administrators.data(), true},
        {"file of LocalSystem", FILE_ATTRIBUTE_NORMAL, system.data(), true},
        {"file link of LocalSystem", FILE_ATTRIBUTE_REPARSE_POINT, system.data(), true},
        {"unreadable attributes", INVALID_FILE_ATTRIBUTES, system.data(), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(utilities::IsRefusedProgramDataFolder(c.attributes, c.owner), c.refused) << c.what;
}

TEST(ProgramDataFolder, DescriptorOfANewFolder)
{
    const LocalMemoryGuard descriptor = utilities::CreateProgramDataSecurityDescriptor();
    wchar_t* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor.get(), SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        &text, nullptr));
    const LocalMemoryGuard textGuard(text);
    EXPECT_EQ(std::wstring(text), L"O:BAG:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)");
}

TEST(ProgramDataFolder, MissingFolderIsCreatedAndNotExamined)
{
    test::TempFolder parent;
    const std::wstring folder = (parent / L"Halvex").wstring();
    EXPECT_NO_THROW(EnsureProgramDataFolder(false, folder));
    EXPECT_TRUE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(ProgramDataFolder, ForeignOwnedFolderIsRefusedUnlessBypassed)
{
    // The test's own folder belongs to the user running the tests.
    test::TempFolder folder;
    ASSERT_FALSE(utilities::IsOwnedByBuiltinAdministrators(folder.Path().wstring()));
    EXPECT_EQ(ErrorOf(false, folder.Path().wstring()), utilities::kProgramDataNotOwnedMessage);
    EXPECT_EQ(ErrorOf(true, folder.Path().wstring()), "");
    EXPECT_NE(std::string(utilities::kProgramDataNotOwnedMessage)
                  .find("may be compromised.\n\nFully remove installed Halvex Ostrel software before attempting "
                        "installation again.\n\nFor more information see https://"),
              std::string::npos);
}

TEST(ProgramDataFolder, AFileInTheWayCannotBecomeTheFolder)
{
    test::TempFolder parent;
    const auto file = parent / L"Halvex";
    std::ofstream(file) << "x";
    for (const bool bypass : {false, true})
        EXPECT_EQ(ErrorOf(bypass, file.wstring()),
                  "Failed to create Halvex ProgramData folder: " + std::to_string(ERROR_ALREADY_EXISTS))
            << bypass;
}

TEST(ProgramDataFolder, MissingParentFailsToCreate)
{
    test::TempFolder parent;
    EXPECT_EQ(ErrorOf(false, (parent / L"absent" / L"Halvex").wstring()),
              "Failed to create Halvex ProgramData folder: " + std::to_string(ERROR_PATH_NOT_FOUND));
}

TEST(ProgramDataFolder, OwnerQueryOfAMissingPathFails)
{
    test::TempFolder parent;
    try {
        utilities::IsOwnedByBuiltinAdministrators((parent / L"absent").wstring());
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "CreateFileW failed: 2");
    }
}

TEST(ProgramDataFolder, LinkedFolderIsRefused)
{
    test::TempFolder parent;
    const auto target = parent / L"target";
    const auto link = parent / L"Halvex";
    std::filesystem::create_directory(target);
    // Wine answers success but makes no link.
    const bool made = CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    const DWORD attributes = GetFileAttributesW(link.c_str());
    if (!made || attributes == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "this system cannot make a directory link";
    ASSERT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(ErrorOf(false, link.wstring()), utilities::kProgramDataNotOwnedMessage);
}

TEST(Administrator, TheTestsRunElevated)
{
    // Linked with the installer's manifest, which asks for administrator rights.
    EXPECT_TRUE(utilities::IsUserAdministrator());
}

}  // namespace
