#pragma once

#include <gmock/gmock.h>

#include <regex>
#include <string>

namespace test {

// gtest's own regular expressions on Windows know no repetition counts; ECMAScript ones do.
MATCHER_P(MatchesEcmaRegex, pattern, "matches " + std::string(pattern))
{
    return std::regex_match(std::string(arg), std::regex(pattern));
}

MATCHER_P(ContainsEcmaRegex, pattern, "contains a match of " + std::string(pattern))
{
    return std::regex_search(std::string(arg), std::regex(pattern, std::regex::ECMAScript | std::regex::multiline));
}

}  // namespace test
