#pragma once

#include <string>

#include "Utilities/FatalError.h"

namespace S1 {

// Checks of values that come from outside the program: the stamp, the command line and the
// service's replies. Each throws Setup::FatalError with its message and the code given, so one
// rule serves every caller that reports it under its own code.

// A stage-2 archive name: at most 256 characters, a name before ".tar.gz" of letters, digits,
// "-", ".", "/" and "_".
void ValidateStage2FileName(const std::string& value, Setup::FatalError::Type code);
// One of the maker's sandbox hosts, or a host under one of the maker's domains.
void ValidateServerName(const std::string& value, Setup::FatalError::Type code);
void ValidateOptionalServerName(const std::string& value, Setup::FatalError::Type code);
// 32 hexadecimal digits in the groups 8-4-4-4-12, without braces.
void ValidateGuid(const std::string& value, Setup::FatalError::Type code);
// Empty, or 36 letters, digits, "-", "." and "_".
void ValidateCustomerToken(const std::string& value, Setup::FatalError::Type code);
// Letters, digits, "," and "_"; empty allowed.
void ValidateProducts(const std::string& value, Setup::FatalError::Type code);
// 1 to 100 letters, digits and "-".
void ValidateUserId(const std::string& value, Setup::FatalError::Type code);

}  // namespace S1
