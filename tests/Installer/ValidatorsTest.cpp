#include <gtest/gtest.h>

#include <string>

#include "Installer/Validators.h"
#include "Utilities/FatalError.h"

using Setup::FatalError;

namespace {

using Validator = void (*)(const std::string&, FatalError::Type);

struct Case {
    const char* validator;
    Validator validate;
    std::string value;
    // Empty when the value is accepted.
    std::string message;
};

#define VALIDATOR(name) #name, &S1::name

// Each case runs with two codes, so that a validator that ignores the code it is given shows.
void Check(const Case& c)
{
    for (const FatalError::Type code : {FatalError::InvalidBlobData, FatalError::InvalidInstallerServer}) {
        SCOPED_TRACE(std::string(c.validator) + "(\"" + c.value + "\") with code " + std::to_string(code));
        try {
            c.validate(c.value, code);
            EXPECT_EQ(c.message, "") << "accepted";
        } catch (const FatalError& e) {
            EXPECT_EQ(e.what(), c.message);
            EXPECT_EQ(e.Code(), code);
        }
    }
}

TEST(Validators, Stage2FileName)
{
    const std::string wrongExtension = "Filename does not have the expected extension, but :'.tar.gz'";
    const Case cases[] = {
        {VALIDATOR(ValidateStage2FileName), "stage2-1.4/Setup_x64.tar.gz", ""},
        {VALIDATOR(ValidateStage2FileName), "a.tar.gz", ""},
        {VALIDATOR(ValidateStage2FileName), std::string(249, 'a') + ".tar.gz", ""},
        {VALIDATOR(ValidateStage2FileName), std::string(250, 'a') + ".tar.gz", "Filename too long"},
        // Too long wins over the other rules.
        {VALIDATOR(ValidateStage2FileName), std::string(257, ' '), "Filename too long"},
        {VALIDATOR(ValidateStage2FileName), ".tar.gz", wrongExtension},
        {VALIDATOR(ValidateStage2FileName), "", wrongExtension},
        {VALIDATOR(ValidateStage2FileName), "setup.tar", wrongExtension},
        {VALIDATOR(ValidateStage2FileName), "setup.TAR.GZ", wrongExtension},
        {VALIDATOR(ValidateStage2FileName), "setup.tar.gz ", wrongExtension},
        {VALIDATOR(ValidateStage2FileName), "setup .tar.gz", "Filename contains illegal characters"},
        {VALIDATOR(ValidateStage2FileName), "..\\setup.tar.gz", "Filename contains illegal characters"},
        {VALIDATOR(ValidateStage2FileName), "set\xc3\xa9.tar.gz", "Filename contains illegal characters"},
        {VALIDATOR(ValidateStage2FileName), std::string("a\0b.tar.gz", 10), "Filename contains illegal characters"},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Validators, ServerName)
{
    const std::string unexpected = "Server name doesn't have an expected value";
    const std::string illegal = "Server name contains illegal characters";
    const std::string longHost = std::string(242, 'a') + ".halvex.com";
    const Case cases[] = {
        {VALIDATOR(ValidateServerName), "sandbox1.halvex-test.com", ""},
        {VALIDATOR(ValidateServerName), "sandbox2.halvex-test.com", ""},
        {VALIDATOR(ValidateServerName), "eu-1.install.halvex.com", ""},
        {VALIDATOR(ValidateServerName), "a.halvex.net", ""},
        {VALIDATOR(ValidateServerName), "x_y.halvexcloud.com", ""},
        {VALIDATOR(ValidateServerName), "qa.halvex-test.com", ""},
        {VALIDATOR(ValidateServerName), longHost, ""},
        {VALIDATOR(ValidateServerName), "a" + longHost, "Server name too long"},
        {VALIDATOR(ValidateServerName), std::string(254, '/'), "Server name too long"},
        {VALIDATOR(ValidateServerName), ".halvex.com", unexpected},
        {VALIDATOR(ValidateServerName), ".halvex-test.com", unexpected},
        {VALIDATOR(ValidateServerName), "halvex.com", unexpected},
        {VALIDATOR(ValidateServerName), "install.halvex.com.evil.net", unexpected},
        {VALIDATOR(ValidateServerName), "install.HALVEX.com", unexpected},
        {VALIDATOR(ValidateServerName), "install.evilhalvex.org", unexpected},
        {VALIDATOR(ValidateServerName), "", unexpected},
        {VALIDATOR(ValidateServerName), "Sandbox1.halvex-test.com", ""},  // under a domain all the same
        {VALIDATOR(ValidateServerName), "install.halvex.com:443", illegal},
        {VALIDATOR(ValidateServerName), "user@install.halvex.com", illegal},
        {VALIDATOR(ValidateServerName), "install.halvex.com/", illegal},
        {VALIDATOR(ValidateServerName), "sandbox1.halvex-test.com ", illegal},
        {VALIDATOR(ValidateOptionalServerName), "", ""},
        {VALIDATOR(ValidateOptionalServerName), "sandbox2.halvex-test.com", ""},
        {VALIDATOR(ValidateOptionalServerName), "eu.halvexcloud.com", ""},
        {VALIDATOR(ValidateOptionalServerName), ".halvexcloud.com", unexpected},
        {VALIDATOR(ValidateOptionalServerName), "a b.halvex.com", illegal},
        {VALIDATOR(ValidateOptionalServerName), "a" + longHost, "Server name too long"},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Validators, Guid)
{
    const std::string invalid = "GUID has invalid format";
    const Case cases[] = {
        {VALIDATOR(ValidateGuid), "0f8fad5b-d9cb-469f-a165-70867728950e", ""},
        {VALIDATOR(ValidateGuid), "0F8FAD5B-D9CB-469F-A165-70867728950E", ""},
        {VALIDATOR(ValidateGuid), "", invalid},
        {VALIDATOR(ValidateGuid), "{0f8fad5b-d9cb-469f-a165-70867728950e}", invalid},
        {VALIDATOR(ValidateGuid), "0f8fad5bd9cb469fa16570867728950e", invalid},
        {VALIDATOR(ValidateGuid), "0f8fad5b-d9cb-469f-a165-70867728950", invalid},
        {VALIDATOR(ValidateGuid), "0f8fad5b-d9cb-469f-a165-70867728950e0", invalid},
        {VALIDATOR(ValidateGuid), "0f8fad5b-d9cb-469f-a165-70867728950g", invalid},
        {VALIDATOR(ValidateGuid), "0f8fad5b-d9cb-469fa-165-70867728950e", invalid},
        // The wrapped text must not close early and leave the rest unjudged.
        {VALIDATOR(ValidateGuid), std::string("0f8fad5b-d9cb-469f-a165-70867728950e}\0x", 39), invalid},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Validators, CustomerToken)
{
    const std::string size = "Customer token not the right size";
    const std::string illegal = "Customer token contains illegal characters";
    const Case cases[] = {
        {VALIDATOR(ValidateCustomerToken), "", ""},
        {VALIDATOR(ValidateCustomerToken), "abcdefghijklmnopqrstuvwxyz0123456789", ""},
        {VALIDATOR(ValidateCustomerToken), "ABCDEFGHIJKLMNOPQRSTUVWXYZ-._-._-._9", ""},
        {VALIDATOR(ValidateCustomerToken), std::string(35, 'a'), size},
        {VALIDATOR(ValidateCustomerToken), std::string(37, 'a'), size},
        {VALIDATOR(ValidateCustomerToken), std::string(37, ' '), size},
        {VALIDATOR(ValidateCustomerToken), std::string(17, 'a') + " " + std::string(18, 'a'), illegal},
        {VALIDATOR(ValidateCustomerToken), std::string(35, 'a') + "=", illegal},
        {VALIDATOR(ValidateCustomerToken), std::string(35, 'a') + "\r", illegal},
        {VALIDATOR(ValidateCustomerToken), std::string(34, 'a') + "\xc3\xa9", illegal},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Validators, Products)
{
    const std::string illegal = "Products string contains illegal characters";
    const Case cases[] = {
        {VALIDATOR(ValidateProducts), "", ""},
        {VALIDATOR(ValidateProducts), "vesk_av,vesk_fw,EDR2", ""},
        {VALIDATOR(ValidateProducts), ",,", ""},
        {VALIDATOR(ValidateProducts), "vesk_av, vesk_fw", illegal},
        {VALIDATOR(ValidateProducts), "vesk-av", illegal},
        {VALIDATOR(ValidateProducts), "vesk;av", illegal},
        {VALIDATOR(ValidateProducts), "vesk_av\r", illegal},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Validators, UserId)
{
    const std::string illegal = "User ID string contains illegal characters";
    const Case cases[] = {
        {VALIDATOR(ValidateUserId), "a", ""},
        {VALIDATOR(ValidateUserId), "User-42-x", ""},
        {VALIDATOR(ValidateUserId), std::string(100, 'z'), ""},
        {VALIDATOR(ValidateUserId), "", "User ID is empty"},
        {VALIDATOR(ValidateUserId), std::string(101, 'z'), "User ID is too long"},
        {VALIDATOR(ValidateUserId), std::string(101, ' '), "User ID is too long"},
        {VALIDATOR(ValidateUserId), "user_42", illegal},
        {VALIDATOR(ValidateUserId), "user.42", illegal},
        {VALIDATOR(ValidateUserId), "user 42", illegal},
    };
    for (const Case& c : cases)
        Check(c);
}

}  // namespace
