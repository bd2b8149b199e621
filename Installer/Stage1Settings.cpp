#include "Installer/Stage1Settings.h"

#include <stdexcept>

#include "halvlib/String.h"

namespace {

template <class T>
bool GivenAndNotEmpty(const std::optional<T>& value)
{
    return value && !value->empty();
}

}  // namespace

Stage1Settings mergeSettings(const S1::StampedSettings& stamp, const CommandLineOptions& options)
{
    Stage1Settings s;
    s.epinstallerserver = GivenAndNotEmpty(options.epinstallerserver) ? *options.epinstallerserver : stamp.installerServer;
    s.qorcustomerid = GivenAndNotEmpty(options.qorcustomerid) ? options.qorcustomerid : stamp.customerId;
    s.messagerelays = options.messagerelays;
    s.language = options.language;
    s.devicegroup = options.devicegroup;
    s.quiet = options.quiet;
    s.bypassownershipcheck = options.bypassownershipcheck;
    s.bypassacscheck = options.bypassacscheck;
    s.nofeedback = options.nofeedback;
    s.dumpfeedback = options.dumpfeedback;
    s.nocompetitorremoval = options.nocompetitorremoval;
    s.registeronly = options.registeronly;
    s.traillogging = options.traillogging;
    s.commandlinelogging = options.commandlinelogging;
    s.noproxydetection = options.noproxydetection;
    s.crtcatalogpath = options.crtcatalogpath;
    if (options.proxyaddress) {
        s.customerProxy = Proxy(Customer, *options.proxyaddress, options.proxyusername.value_or(""),
                                options.proxypassword.value_or(""));
        s.proxies.insert(*s.customerProxy);
    }
    s.computernameoverride = options.computernameoverride;
    s.computerdescriptionoverride = options.computerdescriptionoverride;
    s.domainnameoverride = options.domainnameoverride;
    for (const std::wstring& relay : s.messagerelays)
        s.proxies.insert(Proxy(MessageRelay, WideToUtf8(relay), "", ""));
    s.products = GivenAndNotEmpty(options.products) ? *options.products : stamp.products;
    s.customertoken = GivenAndNotEmpty(options.customertoken) ? *options.customertoken : stamp.customerToken;
    s.usecertificatesfolder = options.usecertificatesfolder;
    s.nonpersistent = options.nonpersistent;
    s.goldimage = options.goldimage;
    s.goldimagetimeout = options.goldimagetimeout;
    s.notificationmode = options.notificationmode;
    s.partnerid = stamp.partnerId;
    s.estateid = stamp.customerEstateId;
    s.userid = GivenAndNotEmpty(options.userid) ? options.userid : stamp.userId;
    s.localinstallsource = options.localinstallsource;
    return s;
}
