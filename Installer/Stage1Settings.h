#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <tuple>

#include "Installer/CommandLine.h"
#include "Installer/StampedSettings.h"

// In the order the transports try them.
enum ProxyType : std::int32_t { MessageRelay = 0, Customer = 1, System = 2, AutoDiscovered = 3, EmptyProxy = 4 };

// Throws std::logic_error for a value outside the enumeration.
const char* ProxyTypeName(ProxyType type);

// One proxy candidate. Without an address it is a direct connection, whatever else was given.
struct Proxy {
    Proxy(ProxyType type, std::string address, std::string username, std::string password);

    ProxyType type;
    std::string address;
    std::string username;
    std::string password;

    bool operator<(const Proxy& other) const
    {
        return std::tie(type, address, username, password) <
               std::tie(other.type, other.address, other.username, other.password);
    }
    bool operator==(const Proxy& other) const
    {
        return std::tie(type, address, username, password) ==
               std::tie(other.type, other.address, other.username, other.password);
    }
};

// The effective installer settings: the command line over the stamped settings.
struct Stage1Settings {
    std::set<Proxy> proxies;
    bool quiet = false;
    bool bypassownershipcheck = false;
    bool bypassacscheck = false;
    bool nofeedback = false;
    bool dumpfeedback = false;
    bool nocompetitorremoval = false;
    bool registeronly = false;
    bool traillogging = false;
    bool commandlinelogging = false;
    std::optional<std::wstring> crtcatalogpath;
    bool noproxydetection = false;
    std::uint32_t parentpid = 0;
    std::optional<int> language;
    std::wstring mgmtserver;
    std::optional<std::wstring> telemserver;
    std::optional<std::wstring> diagserver;
    std::wstring epinstallerserver;
    std::set<std::wstring> messagerelays;
    std::optional<Proxy> customerProxy;
    std::optional<std::wstring> devicegroup;
    std::optional<std::wstring> computernameoverride;
    std::optional<std::wstring> computerdescriptionoverride;
    std::optional<std::wstring> domainnameoverride;
    std::wstring products;
    std::wstring customertoken;
    bool usecertificatesfolder = false;
    bool nonpersistent = false;
    bool goldimage = false;
    std::optional<int> goldimagetimeout;
    bool notificationmode = false;
    std::optional<std::wstring> qorcustomerid;
    std::optional<std::wstring> userid;
    std::optional<std::wstring> localinstallsource;
    std::optional<std::wstring> partnerid;
    std::optional<std::wstring> estateid;
    std::wstring workingFolder;
};

// A command-line value wins when it is given and not empty.
Stage1Settings mergeSettings(const S1::StampedSettings& stamp, const CommandLineOptions& options);
