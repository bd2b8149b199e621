#include "PackageTrust/PackageVerifier.h"

#include <exception>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "halvlib/ErrorCategory.h"
#include "halvlib/Logging.h"
#include "halvlib/String.h"
#include "Utilities/FatalError.h"
#include "PackageTrust/Digests.h"
#include "PackageTrust/SignatureVerification.h"
#include "Utilities/FileSystem.h"
#include "Utilities/LogStatement.h"
#include "Utilities/Raii.h"

namespace Setup {
namespace fs = std::filesystem;
namespace {

// How every path of a package is compared.
using utilities::NormalisePathForComparison;

const std::wstring& manifestName()
{
    static const std::wstring name = NormalisePathForComparison(L"manifest.dat");
    return name;
}

const std::wstring& catalogManifestName()
{
    static const std::wstring name = NormalisePathForComparison(L"cmanifest.dat");
    return name;
}

bool isManifest(const fs::path& item, const std::wstring& form)
{
    const std::wstring& suffix = manifestName();
    if (form.size() < suffix.size() || form.compare(form.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    if (NormalisePathForComparison(item.filename().native()) == catalogManifestName())
        return false;
    return fs::file_size(item) <= kMaximumManifestSize;
}

bool isLinkedFolder(const fs::directory_entry& item)
{
    std::error_code error;
    if (!item.is_directory(error))
        return false;
    const DWORD attributes = GetFileAttributesW(item.path().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

std::vector<ManifestedFile> loadManifest(const std::wstring& path, const ManifestTrustStore& trustStore)
{
    const std::string p = WideToUtf8(path);
    if (!fs::exists(path))
        ThrowSystemError(ERROR_FILE_NOT_FOUND, "Missing manifest file " + p);
    std::ifstream stream(fs::path(path), std::ios::binary);
    try {
        // A stream that did not open fails here, at once.
        stream.exceptions(std::ios::failbit | std::ios::badbit);
    } catch (const std::ios_base::failure& e) {
        throwStreamFailure(e);
    }

    const SignedManifestText manifest = parseManifestFile(stream);
    if (stream.fail() || stream.bad())
        throw std::runtime_error("Error parsing file " + p);

    // Entries are read from the signed bytes only, so nothing outside the signatures can add one.
    const std::vector<ManifestSignature>* signatures = nullptr;
    std::uint32_t mask = 0;
    std::string_view signedBytes;
    if (!manifest.lineSignatures.empty()) {
        signatures = &manifest.lineSignatures;
        mask = HashAlgorithm::sha384;
        signedBytes = manifest.body;
    } else if (!manifest.blockSignatures.empty()) {
        signatures = &manifest.blockSignatures;
        mask = HashAlgorithm::sha1;
        signedBytes = manifest.allText;
    } else {
        throw std::runtime_error("Error verifying file " + p + ": no signatures");
    }
    try {
        verifyManifestSignatures(trustStore, *signatures, mask, signedBytes.data(), signedBytes.size());
    } catch (const std::exception& e) {
        throw std::runtime_error("Error verifying file " + p + ": " + e.what());
    }

    std::vector<ManifestedFile> entries;
    std::istringstream body{std::string(signedBytes)};
    parseManifestBody(body, entries);
    if (body.fail() || body.bad())
        throw std::runtime_error("Error parsing file " + p + ": bad syntax");

    const fs::path folder = fs::absolute(fs::path(path)).parent_path();
    for (ManifestedFile& entry : entries) {
        // ".." is kept: a listed file outside the folder is still checked, and an unlisted one
        // inside it still fails the strict check.
        entry.relativePath = utilities::RemoveDotElements(fs::path(entry.relativePath).make_preferred().native());
        entry.fullPath = (folder / entry.relativePath).native();
    }
    return entries;
}

Manifest::Manifest(const std::wstring& path, const ManifestTrustStore& trustStore)
    : path(path), entries(loadManifest(path, trustStore))
{
}

ManifestedFolder::ManifestedFolder(const std::wstring& folderPath, const ManifestTrustStore& trustStore)
    : folder(fs::absolute(fs::path(folderPath)).native())
{
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const fs::directory_entry& item = *it;
        // A linked folder may lead anywhere, even back up the tree: its contents are not the package's.
        if (isLinkedFolder(item))
            it.disable_recursion_pending();
        std::wstring form = NormalisePathForComparison(item.path().native());
        if (isManifest(item.path(), form))
            manifests.emplace_back(item.path().native(), trustStore);
        else
            unmanifested.insert(std::move(form));
    }
    if (manifests.empty())
        throw std::runtime_error("ManifestedFolder: no manifest files found in " + WideToUtf8(folder));
    const std::wstring rootManifest = (fs::path(folder) / L"manifest.dat").native();
    const std::wstring rootForm = NormalisePathForComparison(rootManifest);
    bool rootFound = false;
    for (const Manifest& manifest : manifests) {
        rootFound = rootFound || NormalisePathForComparison(manifest.path) == rootForm;
        for (const ManifestedFile& entry : manifest.entries)
            unmanifested.erase(NormalisePathForComparison(entry.fullPath));
    }
    if (!rootFound)
        throw std::runtime_error("ManifestedFolder: did not find a root manifest file " + WideToUtf8(rootManifest));
}

void ManifestedFolder::checkFiles() const
{
    for (const Manifest& manifest : manifests) {
        for (const ManifestedFile& entry : manifest.entries) {
            switch (entry.check()) {
            case 1:
                throw std::runtime_error("Invalid file " + WideToUtf8(entry.fullPath));
            case 2:
                throw std::runtime_error("Missing file " + WideToUtf8(entry.fullPath));
            default:
                break;
            }
        }
    }
}

std::vector<std::wstring> ManifestedFolder::manifestedFiles() const
{
    std::vector<std::wstring> files;
    for (const Manifest& manifest : manifests) {
        for (const ManifestedFile& entry : manifest.entries)
            files.push_back(entry.fullPath);
    }
    return files;
}

bool isFileInList(const std::vector<std::wstring>& list, const std::wstring& path)
{
    const std::wstring wanted = NormalisePathForComparison(path);
    for (const std::wstring& listed : list) {
        if (NormalisePathForComparison(listed) == wanted)
            return true;
    }
    return false;
}

int ManifestedFile::check() const
{
    MultiHasher hasher(digestMask);
    FileHandleGuard file(CreateFileW(fullPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            HALVLIB_LOG(halvlib::logging::Warning) << "Error opening manifested file " << fullPath << ": "
                                                   << halvlib::string::GetErrorCategory().message(error);
        }
        return 2;
    }
    hasher.updateFromFile(file.get());
    if (hasher.total() != size) {
        HALVLIB_LOG(halvlib::logging::Warning) << "Corrupt manifested file " << fullPath << ": size is "
                                               << hasher.total() << ", expected " << size;
        return 1;
    }
    struct Expected {
        std::uint32_t algorithm;
        const char* name;
        const std::string& digest;
    };
    const Expected expected[] = {
        {HashAlgorithm::sha384, "sha384", sha384},
        {HashAlgorithm::sha256, "sha256", sha256},
        {HashAlgorithm::sha1, "sha1", sha1},
    };
    for (const Expected& each : expected) {
        if (!(digestMask & each.algorithm))
            continue;
        const std::string computed = hasher.hexDigest(each.algorithm);
        if (computed != each.digest) {
            HALVLIB_LOG(halvlib::logging::Warning) << "Corrupt manifested file " << fullPath << ": " << each.name
                                                   << " is " << computed << ", expected " << each.digest;
            return 1;
        }
    }
    return 0;
}

std::pair<bool, bool> PackageVerifier::verify(const std::wstring& folder)
{
    try {
        const ManifestedFolder manifested(folder, trustStore);
        manifested.checkFiles();
        if (rejectUnmanifestedFiles) {
            bool found = false;
            for (const std::wstring& path : manifested.unmanifested) {
                std::error_code error;
                if (fs::is_directory(path, error))
                    continue;
                LOG_ERROR << "File missing from manifest: " << path;
                found = true;
            }
            if (found)
                throw FatalError("Unmanifested file(s) found in package", FatalError::ExtraFileInPackage);
        }
        const std::vector<std::wstring> listed = manifested.manifestedFiles();
        const fs::path root(manifested.folder);
        return {isFileInList(listed, (root / L"setup.dll").native()),
                isFileInList(listed, (root / L"setup64.dll").native())};
    } catch (const FatalError&) {
        throw;
    } catch (const std::exception& e) {
        throw FatalError(std::string("Manifest verification failure: ") + e.what(), FatalError::ManifestError);
    }
}

}  // namespace Setup
