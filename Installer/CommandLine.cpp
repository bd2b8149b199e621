#include "Installer/CommandLine.h"

#include <windows.h>

#include <shellapi.h>

#include "halvlib/ErrorCategory.h"
#include "halvlib/String.h"
#include "Utilities/Module.h"
#include "Utilities/Raii.h"

using namespace OptionParserLib::Helper;

namespace {

enum OptionIndex : unsigned {
    UNKNOWN = 0, QUIET = 1, BYPASSOWNERSHIPCHECK = 2, BYPASSACSCHECK = 3, NOPROXYDETECTION = 4, NOFEEDBACK = 5,
    DUMPFEEDBACK = 6, NOCOMPETITORREMOVAL = 7, REGISTERONLY = 8, TRAILLOGGING = 9, COMMANDLINELOGGING = 10,
    CRTCATALOGPATH = 11, LANGUAGE = 12, MESSAGERELAYS = 13, EPINSTALLERSERVER = 14, DEVICEGROUP = 15,
    PROXYADDRESS = 16, PROXYUSERNAME = 17, PROXYPASSWORD = 18, COMPUTERNAMEOVERRIDE = 19,
    COMPUTERDESCRIPTIONOVERRIDE = 20, DOMAINNAMEOVERRIDE = 21, PRODUCTS = 22, CUSTOMERTOKEN = 23,
    USECERTIFICATESFOLDER = 24, NONPERSISTENT = 25, GOLDIMAGE = 26, GOLDIMAGETIMEOUT = 27, QORCUSTOMERID = 28,
    USERID = 29, LOCALINSTALLSOURCE = 30, NOTIFICATIONMODE = 31,
};

using option::Arg;

// The usage header names the running program, so the table is built at first use.
const option::Descriptor* Table()
{
    static const std::string header = WideToUtf8(utilities::Module::ModuleFileName()) + " <options>\n\nOptions:";
    static const option::Descriptor table[] = {
        {UNKNOWN, 0, "", "", Arg::None, header.c_str()},
        {QUIET, 0, "", "quiet", Arg::None, "--quiet"},
        {BYPASSOWNERSHIPCHECK, 0, "", "bypassownershipcheck", Arg::None, "--bypassownershipcheck"},
        {BYPASSACSCHECK, 0, "", "bypassacscheck", Arg::None, "--bypassacscheck"},
        {NOPROXYDETECTION, 0, "", "noproxydetection", Arg::None, "--noproxydetection"},
        {NOFEEDBACK, 0, "", "nofeedback", Arg::None, "--nofeedback"},
        {DUMPFEEDBACK, 0, "", "dumpfeedback", Arg::None, "--dumpfeedback"},
        {REGISTERONLY, 0, "", "registeronly", Arg::None, "--registeronly"},
        {TRAILLOGGING, 0, "", "traillogging", Arg::None, "--traillogging"},
        {COMMANDLINELOGGING, 0, "", "commandlinelogging", Arg::None, "--commandlinelogging"},
        {NOCOMPETITORREMOVAL, 0, "", "nocompetitorremoval", Arg::None, "--nocompetitorremoval"},
        {CRTCATALOGPATH, 0, "", "crtcatalogpath", Arg::Attached, "--crtcatalogpath=<path to CRT catalog>"},
        {LANGUAGE, 0, "", "language", Arg::Attached, "--language=<language ID>"},
        {MESSAGERELAYS, 0, "", "messagerelays", Arg::Attached,
         "--messagerelays=<comma-separated message relay address:port>"},
        {EPINSTALLERSERVER, 0, "", "epinstallerserver", Arg::Attached,
         "--epinstallerserver=<installer configuration server>"},
        {DEVICEGROUP, 0, "", "devicegroup", Arg::Attached, "--devicegroup=<Corvale group>\\<Corvale subgroup>"},
        {PROXYADDRESS, 0, "", "proxyaddress", Arg::Attached, "--proxyaddress=<custom proxy address:port>"},
        {PROXYUSERNAME, 0, "", "proxyusername", Arg::Attached, "--proxyusername=<custom proxy user name>"},
        {PROXYPASSWORD, 0, "", "proxypassword", Arg::Attached, "--proxypassword=<custom proxy password>"},
        {COMPUTERNAMEOVERRIDE, 0, "", "computernameoverride", Arg::Attached,
         "--computernameoverride=<override for computer name>"},
        {COMPUTERDESCRIPTIONOVERRIDE, 0, "", "computerdescriptionoverride", Arg::Attached,
         "--computerdescriptionoverride=<override for description>"},
        {DOMAINNAMEOVERRIDE, 0, "", "domainnameoverride", Arg::Attached, "--domainnameoverride=<override for domain>"},
        {PRODUCTS, 0, "", "products", Arg::Attached, "--products=<comma-separated list of products>"},
        {CUSTOMERTOKEN, 0, "", "customertoken", Arg::Attached, "--customertoken=<override the token for the customer>"},
        {USECERTIFICATESFOLDER, 0, "", "usecertificatesfolder", Arg::None, "--usecertificatesfolder"},
        {NONPERSISTENT, 0, "", "nonpersistent", Arg::None, "--nonpersistent"},
        {GOLDIMAGE, 0, "", "goldimage", Arg::None, "--goldimage"},
        {GOLDIMAGETIMEOUT, 0, "", "goldimagetimeout", Arg::Attached, "--goldimagetimeout=<timeout value 0 to 900>"},
        {NOTIFICATIONMODE, 0, "", "notificationmode", Arg::None, "--notificationmode (used with --goldimage)"},
        {QORCUSTOMERID, 0, "", "qorcustomerid", Arg::Attached, "--qorcustomerid=<QOR customer ID>"},
        {USERID, 0, "", "userid", Arg::Attached, "--userid=<User ID>"},
        {LOCALINSTALLSOURCE, 0, "", "localinstallsource", Arg::Attached, "--localinstallsource=<path to folder>"},
        {0, 0, nullptr, nullptr, nullptr, nullptr},
    };
    return table;
}

[[noreturn]] void ThrowSplitFailure()
{
    throw std::runtime_error("CommandLineToArgvW failed: " +
                             halvlib::string::GetErrorMessage(static_cast<int>(GetLastError()), 0));
}

}  // namespace

CommandLine::CommandLine(std::wostream&, const std::wstring& commandLine, UnknownOptionsBehaviour)
{
    int argc = 0;
    const ArgvGuard argv(CommandLineToArgvW(commandLine.c_str(), &argc));
    if (!argv)
        ThrowSplitFailure();
    for (int i = 0; i < argc; ++i)
        utf8Arguments.push_back(halvlib::string::ToUtf8(std::wstring_view(argv.get()[i])));
    for (const std::string& argument : utf8Arguments)
        utf8Pointers.push_back(argument.c_str());
}

std::vector<option::Option> CommandLine::parse() const
{
    return parse(static_cast<int>(utf8Pointers.size()), utf8Pointers.data());
}

std::vector<option::Option> CommandLine::parse(int argc, const char* const* argv)
{
    if (argc > 0) {
        --argc;
        ++argv;
    }
    option::ParseResult result = option::Parse(Table(), argc, argv);
    if (result.error)
        throw CommandLineException("Unable to parse command line");
    if (!result.nonOptions.empty())
        throw CommandLineException(std::string("Non-option passed: ") + result.nonOptions.front());
    return std::move(result.options);
}

std::wstring CommandLine::usage()
{
    return Utf8ToWide(option::PrintUsage(Table()));
}

CommandLineOptions evaluateCommandLineOptions(std::wostream& log, const std::vector<option::Option>& o)
{
    CommandLineOptions r;
    r.quiet = flag(log, o, QUIET, L"Quiet mode on");
    r.bypassownershipcheck = flag(log, o, BYPASSOWNERSHIPCHECK, L"Bypass ownership check");
    r.bypassacscheck = flag(log, o, BYPASSACSCHECK, L"Bypass ACS check");
    r.noproxydetection = flag(log, o, NOPROXYDETECTION, L"Automatic Proxy detection disabled");
    r.nofeedback = flag(log, o, NOFEEDBACK, L"No feedback mode on");
    r.dumpfeedback = flag(log, o, DUMPFEEDBACK, L"Dump feedback enabled");
    r.nocompetitorremoval = flag(log, o, NOCOMPETITORREMOVAL, L"Bypass competitor removal");
    r.crtcatalogpath = optional_string_arg(log, o, CRTCATALOGPATH, L"Using CRT catalog file path");
    r.registeronly = flag(log, o, REGISTERONLY, L"Re-register installed ostrel with Corvale");
    r.traillogging = flag(log, o, TRAILLOGGING, L"Log messages between ostrel and Corvale");
    r.commandlinelogging = flag(log, o, COMMANDLINELOGGING, L"Log command-line passed to executables");
    r.epinstallerserver =
        optional_string_arg(log, o, EPINSTALLERSERVER, L"Using custom server that hosts the installer stage2 filename");
    r.devicegroup = optional_string_arg(log, o, DEVICEGROUP, L"Using cloud group");
    r.computernameoverride = optional_string_arg(log, o, COMPUTERNAMEOVERRIDE, L"Overriding computer name");
    r.computerdescriptionoverride =
        optional_string_arg(log, o, COMPUTERDESCRIPTIONOVERRIDE, L"Overriding computer description");
    r.domainnameoverride = optional_string_arg(log, o, DOMAINNAMEOVERRIDE, L"Overriding domain name");
    r.language = optional_num_arg(log, o, LANGUAGE, L"Language will be set to");
    if (const auto relays = optional_string_arg(log, o, MESSAGERELAYS, L"Using message relays"))
        for (std::wstring& relay : SplitList(*relays))
            r.messagerelays.insert(std::move(relay));
    r.proxyaddress = optional_narrow_string_arg(log, o, PROXYADDRESS, L"Proxy address");
    r.proxyusername = optional_narrow_string_arg(log, o, PROXYUSERNAME, L"Proxy user name");
    r.proxypassword = optional_narrow_string_arg(log, o, PROXYPASSWORD, nullptr);  // never logged
    if (r.proxyaddress && IsBlank(*r.proxyaddress))
        throw CommandLineException("Cannot have a blank proxy address.");
    if (!r.proxyaddress && (r.proxyusername || r.proxypassword))
        throw CommandLineException("Cannot pass a proxy option without passing 'proxyaddress'.");
    r.customertoken = optional_string_arg(log, o, CUSTOMERTOKEN, L"Using custom customer token");
    r.products = optional_string_arg(log, o, PRODUCTS, L"Using specified products");
    if (r.products) {
        if (IsBlank(*r.products))
            throw CommandLineException("Need to specify which products are wanted.");
        for (const std::wstring& product : SplitList(*r.products))
            if (IsBlank(product))
                throw CommandLineException("Cannot have a blank products specified.");
    }
    if (r.customertoken && IsBlank(*r.customertoken))
        throw CommandLineException("Cannot have a blank customer token.");
    r.usecertificatesfolder =
        flag(log, o, USECERTIFICATESFOLDER, L"Using certificates from the program data folder");
    r.nonpersistent = flag(log, o, NONPERSISTENT, L"Setting non-persistent image");
    r.goldimage = flag(log, o, GOLDIMAGE, L"Setting gold image");
    r.goldimagetimeout = optional_num_arg(log, o, GOLDIMAGETIMEOUT, L"QOR registration timeout for golden image");
    r.notificationmode = flag(log, o, NOTIFICATIONMODE, L"Setting notification mode");
    r.qorcustomerid = optional_string_arg(log, o, QORCUSTOMERID, L"Using custom customer ID");
    r.userid = optional_string_arg(log, o, USERID, L"Using specified user ID");
    r.localinstallsource = optional_string_arg(log, o, LOCALINSTALLSOURCE, L"Using local install source");
    if (r.goldimage && r.computernameoverride)
        throw CommandLineException("Cannot use --goldimage if --computernameoverride is specified");
    if (r.goldimagetimeout && !r.goldimage)
        throw CommandLineException("Cannot use --goldimagetimeout if --goldimage is not specified");
    if (r.goldimagetimeout && (*r.goldimagetimeout < 0 || *r.goldimagetimeout > 900))
        throw CommandLineException("--goldimagetimeout value out of range");
    if (r.notificationmode && !r.goldimage)
        throw CommandLineException("Cannot use --notificationmode if --goldimage is not specified");
    return r;
}

bool hasRawSwitch(const std::wstring& commandLine, const std::wstring& switchText)
{
    int count = 0;
    const ArgvGuard argv(CommandLineToArgvW(commandLine.c_str(), &count));
    if (!argv)
        ThrowSplitFailure();
    for (int i = 1; i < count; ++i)
        if (switchText == argv.get()[i])
            return true;
    return false;
}
