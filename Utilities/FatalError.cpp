#include "Utilities/FatalError.h"

#include <map>

namespace Setup {

namespace {

const std::map<std::int32_t, std::wstring> kReportNames = {
    {FatalError::Unknown, L"unknown"},
    {FatalError::ExtraFileInPackage, L"extra_file_in_package"},
    {FatalError::ManifestError, L"manifest_error"},
    {FatalError::InvalidBlobData, L"invalid_blob_data"},
    {FatalError::InvalidCustomerToken, L"invalid_customer_token"},
    {FatalError::InvalidInstallerServer, L"invalid_installer_server"},
    {FatalError::InvalidQorCustomerId, L"invalid_qorcustomer_id"},
    {FatalError::InvalidUserId, L"invalid_user_id"},
    {FatalError::InvalidProducts, L"invalid_products"},
    {FatalError::DownloadFailure, L"download_failure"},
    {FatalError::ExpiredFailure, L"expired_failure"},
    {FatalError::ExtractFailure, L"extract_failure"},
    {FatalError::LaunchFailure, L"launch_failure"},
};

}  // namespace

const std::wstring& GetReportName(std::int32_t code)
{
    const auto found = kReportNames.find(code);
    return found != kReportNames.end() ? found->second : kReportNames.at(FatalError::Unknown);
}

}  // namespace Setup
