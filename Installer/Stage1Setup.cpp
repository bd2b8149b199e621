#include "Installer/Stage1Setup.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <limits>
#include <string>

#include "halvlib/String.h"
#include "HttpClient/HttpClient.h"
#include "Installer/Stage2DetailsRequest.h"
#include "Installer/Stage2Launch.h"
#include "Installer/Validators.h"
#include "PackageTrust/ArchiveExtraction.h"
#include "PackageTrust/PackageVerifier.h"
#include "Utilities/FatalError.h"
#include "Utilities/FileSystem.h"
#include "Utilities/LogStatement.h"

namespace S1 {

const wchar_t* const kStage2ArchivePrefix = L"full/corvale/windows/vesk/installer/";
const wchar_t* const kExtractFolderName = L"extract_cache";

ProcessorArchitecture chooseStage2Architecture(ProcessorArchitecture native)
{
    switch (native) {
    case ProcessorArchitecture::X86:
        LOG_INFO << "Running on x86, requesting x86 Stage2";
        return ProcessorArchitecture::X86;
    case ProcessorArchitecture::X64:
        LOG_INFO << "Running on x64, requesting x86 Stage2";
        return ProcessorArchitecture::X86;
    case ProcessorArchitecture::ARM64:
        LOG_INFO << "Running on ARM64, requesting ARM64 Stage2";
        return ProcessorArchitecture::ARM64;
    default:
        LOG_INFO << "Running on another architecture, requesting x86 Stage2";
        return ProcessorArchitecture::X86;
    }
}

std::vector<char> downloadStage2Archive(IHttpClient& client, const std::wstring& fileName)
{
    try {
        const std::string body =
            client.httpGet(kStage2ArchivePrefix + fileName, {HttpHeader(L"Accept", L"application/gzip")});
        return std::vector<char>(body.begin(), body.end());
    } catch (const ::HttpClient::Error& e) {
        if (e.statusCode && *e.statusCode == 404)
            throw Setup::FatalError("404 error indicating potentially expired stage 1",
                                    Setup::FatalError::ExpiredFailure);
        if (e.statusCode)
            throw Setup::FatalError("Failed to download stage-2 archive. Status code: " +
                                        std::to_string(*e.statusCode) + ": " + e.what(),
                                    Setup::FatalError::DownloadFailure);
        throw Setup::FatalError(std::string("Failed to download stage-2 archive: ") + e.what(),
                                Setup::FatalError::DownloadFailure);
    } catch (const std::exception& e) {
        throw Setup::FatalError(std::string("Failed to download stage-2 archive: ") + e.what(),
                                Setup::FatalError::DownloadFailure);
    }
}

void validateMandatorySettings(const Stage1Settings& settings)
{
    if (settings.epinstallerserver.empty())
        throw Setup::FatalError("No value was provided for --epinstallerserver ",
                                Setup::FatalError::InvalidInstallerServer);
    ValidateServerName(WideToUtf8(settings.epinstallerserver), Setup::FatalError::InvalidInstallerServer);
    if (settings.customertoken.empty())
        throw Setup::FatalError("No value was provided for --customertoken", Setup::FatalError::InvalidCustomerToken);
    ValidateCustomerToken(WideToUtf8(settings.customertoken), Setup::FatalError::InvalidCustomerToken);
    if (settings.products.empty())
        throw Setup::FatalError("No value was provided for --products", Setup::FatalError::InvalidProducts);
    ValidateProducts(WideToUtf8(settings.products), Setup::FatalError::InvalidProducts);
    if (settings.qorcustomerid)
        ValidateGuid(WideToUtf8(*settings.qorcustomerid), Setup::FatalError::InvalidQorCustomerId);
    if (settings.userid)
        ValidateUserId(WideToUtf8(*settings.userid), Setup::FatalError::InvalidUserId);
}

Setup::ManifestTrustStore makeManifestTrustStore(const RootTrust& root, bool useCertificatesFolder)
{
    std::vector<std::wstring> folders;
    if (useCertificatesFolder) {
        LOG_INFO << "Looking for additional manifest certificates in certificates folder";
        folders.push_back(Setup::getManifestCertificatesFolder());
    }
    Setup::ManifestTrustStore store(folders);
    store.addRoot(root.certificate, root.crl);
    return store;
}

Stage1Setup::Stage1Setup(const RootTrust& root)
    : Stage1Setup(
          root,
          [](const std::wstring& host, bool noProxyDetection, const Stage1Settings& settings) {
              return std::make_unique<::HttpClient>(host, settings.proxies, noProxyDetection ? 1 : 0);
          },
          &utilities::GetProcessorArchitecture)
{
}

Stage1Setup::Stage1Setup(const RootTrust& root, ClientMaker makeClient, ArchitectureReader nativeArchitecture)
    : root(root), makeClient(std::move(makeClient)), nativeArchitecture(std::move(nativeArchitecture))
{
}

ProcessorArchitecture Stage1Setup::GetStage2Architecture()
{
    return chooseStage2Architecture(nativeArchitecture());
}

Stage2Details Stage1Setup::GetStage2Details(const std::wstring& customerToken, const std::wstring& installerServer,
                                            bool noProxyDetection, const Stage1Settings& settings,
                                            ProcessorArchitecture processor)
{
    return parseStage2Details(
        requestStage2Details(customerToken, installerServer, noProxyDetection, settings, processor));
}

std::vector<char> Stage1Setup::DownloadStage2(const std::wstring& host, const std::wstring& fileName,
                                              bool noProxyDetection, const Stage1Settings& settings)
{
    std::unique_ptr<IHttpClient> client;
    try {
        client = makeClient(host, noProxyDetection, settings);
    } catch (const std::exception& e) {
        throw Setup::FatalError(std::string("Failed to download stage-2 archive: ") + e.what(),
                                Setup::FatalError::DownloadFailure);
    }
    return downloadStage2Archive(*client, fileName);
}

void Stage1Setup::ExtractAndVerifyStage2(const std::vector<char>& archive, bool useCertificatesFolder,
                                         const std::wstring& folder)
{
    const Setup::ManifestTrustStore store = makeManifestTrustStore(root, useCertificatesFolder);
    Setup::PackageVerifier verifier(store, true);
    // The extraction takes a 32-bit size: a larger archive must not be read as a shorter one.
    if (archive.size() > std::numeric_limits<std::uint32_t>::max())
        throw Setup::FatalError("Stage-2 archive is too large: " + std::to_string(archive.size()) + " bytes",
                                Setup::FatalError::ExtractFailure);
    const std::filesystem::path target(folder);
    const std::filesystem::path cache = target / kExtractFolderName;
    Setup::extractTarGzArchive(cache, reinterpret_cast<const std::uint8_t*>(archive.data()),
                               static_cast<std::uint32_t>(archive.size()), [&] {
                                   verifier.verify(cache.wstring());
                                   utilities::HardLinkRecursive(cache, target);
                               });
}

void Stage1Setup::VerifyCachedStage2(bool useCertificatesFolder, const std::wstring& folder)
{
    const Setup::ManifestTrustStore store = makeManifestTrustStore(root, useCertificatesFolder);
    Setup::PackageVerifier verifier(store, false);
    verifier.verify(folder);
}

bool Stage1Setup::RunStage2(const std::vector<Stage2Argument>& extraArguments, const Stage1Settings& settings)
{
    Stage2Run run;
    run.settings = settings;
    run.workingFolder = settings.workingFolder;
    run.extraArguments = extraArguments;
    return runSetupProgram(run);
}

void Stage1Setup::validateMandatorySettings(const Stage1Settings& settings)
{
    S1::validateMandatorySettings(settings);
}

}  // namespace S1
