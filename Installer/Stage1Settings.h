#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "Installer/CommandLine.h"
#include "Installer/StampedSettings.h"
#include "Utilities/Proxy.h"

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
