#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Installer/Stage1Settings.h"
#include "Installer/Stage2Details.h"
#include "Installer/Stage2Argument.h"
#include "Utilities/ProcessorArchitecture.h"

namespace S1 {

// The steps of one attempt that reach the network, the archive and stage 2.
class IStage1Setup {
public:
    virtual ~IStage1Setup() = default;
    virtual ProcessorArchitecture GetStage2Architecture() = 0;
    virtual Stage2Details GetStage2Details(const std::wstring& customerToken, const std::wstring& installerServer,
                                           bool noProxyDetection, const Stage1Settings& settings,
                                           ProcessorArchitecture processor) = 0;
    virtual std::vector<char> DownloadStage2(const std::wstring& host, const std::wstring& fileName,
                                             bool noProxyDetection, const Stage1Settings& settings) = 0;
    virtual void ExtractAndVerifyStage2(const std::vector<char>& archive, bool useCertificatesFolder,
                                        const std::wstring& folder) = 0;
    virtual void VerifyCachedStage2(bool useCertificatesFolder, const std::wstring& folder) = 0;
    // True when stage 2 asks for a restart. The launch quotes the extra arguments' values itself.
    virtual bool RunStage2(const std::vector<Stage2Argument>& extraArguments, const Stage1Settings& settings) = 0;
    virtual void validateMandatorySettings(const Stage1Settings& settings) = 0;
};

}  // namespace S1
