#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Installer/Stage2Argument.h"
#include "Installer/StampedSettings.h"
#include "Utilities/Raii.h"

namespace S1 {

// The product option "--region" of the process command line. The same raw command line as the
// installer's is parsed again with a table of this one option; every other option is dropped.
class VeskCommandLine {
public:
    // Writes the region's log line into log. Throws std::runtime_error when the command line cannot
    // be split and CommandLineException for any non-option argument.
    VeskCommandLine(std::wostream& log, const std::wstring& commandLine);

    // Engaged when "--region" was given, also with an empty value.
    const std::optional<std::wstring>& Region() const { return region; }

private:
    int argc = 0;
    ArgvGuard argv;
    std::vector<std::string> utf8Arguments;
    std::optional<std::wstring> region;
};

// The product options of a run: the command line's region and the stamp's affiliate.
struct VeskOptions {
    // The first AFFILIATE value of the stamp, when the key is there; the region, else "prod".
    VeskOptions(const StampMap& stamp, const std::optional<std::wstring>& commandLineRegion);

    // "region" and then "affiliate" when engaged; an item whose value is empty is left out.
    std::vector<Stage2Argument> Stage2Arguments() const;

    // The items as --name="value", one space between items. AFFILIATE is not covered by the code
    // signature, so each value is quoted to come back as exactly one argument of the elevated stage 2.
    std::wstring Stage2Suffix() const;

    std::wstring region;
    std::optional<std::wstring> affiliate;
};

// The value between double quotes, escaped so that CommandLineToArgvW and the C runtime give it back
// unchanged: a quote as \", the backslashes before a quote or before the closing quote doubled.
// Throws std::invalid_argument for a zero character, which would cut the command line short.
std::wstring QuoteCommandLineValue(std::wstring_view value);

// The run's region: parses the command line and logs the option block as INFO lines.
std::optional<std::wstring> ReadVeskRegion(const std::wstring& commandLine);

}  // namespace S1
