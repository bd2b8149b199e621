#pragma once

#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "Installer/OptionParser.h"

// A bad command line: logged with the usage text, exit code 1.
class CommandLineException : public std::exception {
public:
    explicit CommandLineException(const char* message) : message(message) {}
    explicit CommandLineException(std::string message) : message(std::move(message)) {}
    const char* what() const noexcept override { return message.c_str(); }

private:
    std::string message;
};

struct CommandLineOptions {
    bool quiet = false;
    bool bypassownershipcheck = false;
    bool bypassacscheck = false;
    bool noproxydetection = false;
    bool nofeedback = false;
    bool dumpfeedback = false;
    bool nocompetitorremoval = false;
    bool registeronly = false;
    bool traillogging = false;
    bool commandlinelogging = false;
    std::optional<std::wstring> crtcatalogpath;
    std::optional<int> language;
    std::set<std::wstring> messagerelays;
    std::optional<std::wstring> epinstallerserver;
    std::optional<std::wstring> devicegroup;
    std::optional<std::string> proxyaddress;
    std::optional<std::string> proxyusername;
    std::optional<std::string> proxypassword;
    std::optional<std::wstring> computernameoverride;
    std::optional<std::wstring> computerdescriptionoverride;
    std::optional<std::wstring> domainnameoverride;
    std::optional<std::wstring> products;
    std::optional<std::wstring> customertoken;
    bool usecertificatesfolder = false;
    bool nonpersistent = false;
    bool goldimage = false;
    std::optional<int> goldimagetimeout;
    bool notificationmode = false;
    std::optional<std::wstring> qorcustomerid;
    std::optional<std::wstring> userid;
    std::optional<std::wstring> localinstallsource;
};

// The process command line parsed with the installer's option table. The parsed options point
// into the arguments held here, so they live no longer than the command line.
class CommandLine {
public:
    // The log stream and the behaviour are not used: the option lines are written by
    // evaluateCommandLineOptions, and unknown options are always ignored.
    CommandLine(std::wostream& log, const std::wstring& commandLine,
                OptionParserLib::Helper::UnknownOptionsBehaviour behaviour);
    // A copy or a move would leave the pointers aimed at the old arguments.
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Throws CommandLineException for an illegal option or any non-option argument.
    std::vector<option::Option> parse() const;
    static std::vector<option::Option> parse(int argc, const char* const* argv);
    static std::wstring usage();

private:
    std::vector<std::string> utf8Arguments;
    std::vector<const char*> utf8Pointers;
};

CommandLineOptions evaluateCommandLineOptions(std::wostream& log, const std::vector<option::Option>& options);

// An exact match of one whole argument after the program name, made before any parsing.
bool hasRawSwitch(const std::wstring& commandLine, const std::wstring& switchText);
