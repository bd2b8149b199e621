#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HttpClient/IHttpClient.h"
#include "Installer/IStage1Setup.h"
#include "PackageTrust/ManifestTrustStore.h"

namespace S1 {

// The PEM texts of the built-in root certificate and its revocation list.
struct RootTrust {
    std::string certificate;
    std::string crl;
};

// Where the stage-2 archives lie on the download host; the file name follows directly.
extern const wchar_t* const kStage2ArchivePrefix;
// The folder inside the target folder that an archive is unpacked into.
extern const wchar_t* const kExtractFolderName;

// Only ARM64 machines get a stage 2 of their own; every other one gets the x86 build.
ProcessorArchitecture chooseStage2Architecture(ProcessorArchitecture native);

// The archive's bytes. A 404 is ExpiredFailure, every other failure DownloadFailure.
std::vector<char> downloadStage2Archive(IHttpClient& client, const std::wstring& fileName);

// The checks of a stamped install's own settings, in a fixed order: the first failure is reported.
void validateMandatorySettings(const Stage1Settings& settings);

// The roots a manifest may chain to: the certificates folder's first when asked, then the built-in one.
Setup::ManifestTrustStore makeManifestTrustStore(const RootTrust& root, bool useCertificatesFolder);

class Stage1Setup : public IStage1Setup {
public:
    // Makes the client that fetches the archive from a host.
    using ClientMaker =
        std::function<std::unique_ptr<IHttpClient>(const std::wstring& host, bool noProxyDetection,
                                                   const Stage1Settings& settings)>;
    using ArchitectureReader = std::function<ProcessorArchitecture()>;

    explicit Stage1Setup(const RootTrust& root);
    Stage1Setup(const RootTrust& root, ClientMaker makeClient, ArchitectureReader nativeArchitecture);

    ProcessorArchitecture GetStage2Architecture() override;
    Stage2Details GetStage2Details(const std::wstring& customerToken, const std::wstring& installerServer,
                                   bool noProxyDetection, const Stage1Settings& settings,
                                   ProcessorArchitecture processor) override;
    std::vector<char> DownloadStage2(const std::wstring& host, const std::wstring& fileName, bool noProxyDetection,
                                     const Stage1Settings& settings) override;
    void ExtractAndVerifyStage2(const std::vector<char>& archive, bool useCertificatesFolder,
                                const std::wstring& folder) override;
    void VerifyCachedStage2(bool useCertificatesFolder, const std::wstring& folder) override;
    bool RunStage2(const std::vector<Stage2Argument>& extraArguments, const Stage1Settings& settings) override;
    void validateMandatorySettings(const Stage1Settings& settings) override;

private:
    const RootTrust& root;
    ClientMaker makeClient;
    ArchitectureReader nativeArchitecture;
};

}  // namespace S1
