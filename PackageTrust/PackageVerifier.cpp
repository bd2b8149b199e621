#include "PackageTrust/PackageVerifier.h"

#include <exception>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "halvlib/ErrorCategory.h"
#include "halvlib/Logging.h"
#include "halvlib/String.h"
#include "PackageTrust/ArchiveExtraction.h"
#include "PackageTrust/DigestProviders.h"
#include "PackageTrust/Digests.h"
#include "PackageTrust/SignatureVerification.h"
#include "Utilities/FatalError.h"
#include "Utilities/FileHandleToStdStreamConverter.h"
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

DWORD readAttributes(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str());
}

// A link in a package may lead anywhere, even back up the tree, and what it leads to is not the
// package's; other reparse points are refused alike rather than told apart.
void refuseLinks(const fs::path& item, const AttributesReader& readAttributesOf)
{
    const DWORD attributes = readAttributesOf(item.native());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        throw std::runtime_error("GetFileAttributesW failed: " + std::to_string(GetLastError()));
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        throw std::runtime_error("ManifestedFolder: found a link in the package " + WideToUtf8(item.native()));
}

}  // namespace

std::vector<ManifestedFile> loadManifest(const std::wstring& path, const ManifestTrustStore& trustStore)
{
    const std::string p = WideToUtf8(path);
    if (!fs::exists(path))
        ThrowSystemError(ERROR_FILE_NOT_FOUND, "Missing manifest file " + p);
    // No writer and no rename while it is read: what is parsed is what was found.
    FileHandleGuard file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    // A manifest that cannot be opened fails as a stream that did not open would.
    if (!file)
        throwStreamFailure(std::ios_base::failure("open", std::make_error_code(std::io_errc::stream)));
    const DWORD attributes = utilities::GetFileAttributesByHandle(file.get());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        throw std::runtime_error("GetFileInformationByHandleEx failed: " + std::to_string(GetLastError()));
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        throw std::runtime_error("Error opening file " + p + ": the file is a link");
    utilities::FileHandleToStdStreamConverter converter(file, "rb");
    std::istream& stream = converter.Stream();
    // The converter detaches the stream's buffer when it ends, which must not throw, so the
    // exceptions are switched off again however the load ends.
    struct ExceptionsOff {
        std::istream& stream;
        ~ExceptionsOff() { stream.exceptions(std::ios::goodbit); }
    } exceptionsOff{stream};
    stream.exceptions(std::ios::failbit | std::ios::badbit);

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
        // Every later use of an entry goes through its full path, so a path that leaves the
        // folder (root, share, drive, "..") or opens a device refuses the whole manifest here.
        const std::string relative = WideToUtf8(entry.relativePath);
        if (!relative.empty() && !IsSafeEntryName(relative))
            throw std::runtime_error("Error parsing file " + p + ": unsafe entry path \"" + relative + "\"");
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
    : ManifestedFolder(folderPath, trustStore, readAttributes)
{
}

ManifestedFolder::ManifestedFolder(const std::wstring& folderPath, const ManifestTrustStore& trustStore,
                                   const AttributesReader& attributes)
    : folder(fs::absolute(fs::path(folderPath)).native())
{
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const fs::directory_entry& item = *it;
        // Before anything is read from it or below it.
        refuseLinks(item.path(), attributes);
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
    DigestProviders providers;
    for (const Manifest& manifest : manifests) {
        for (const ManifestedFile& entry : manifest.entries) {
            switch (entry.check(providers)) {
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

namespace {

// The check of one entry with a hasher made for it before the file is opened.
int checkManifestedFile(const ManifestedFile& entry, MultiHasher& hasher)
{
    FileHandleGuard file(CreateFileW(entry.fullPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            HALVLIB_LOG(halvlib::logging::Warning) << "Error opening manifested file " << entry.fullPath << ": "
                                                   << halvlib::string::GetErrorCategory().message(error);
        }
        return 2;
    }
    const DWORD attributes = utilities::GetFileAttributesByHandle(file.get());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        const DWORD error = GetLastError();
        HALVLIB_LOG(halvlib::logging::Warning)
            << "Error opening manifested file " << entry.fullPath << ": "
            << (attributes == INVALID_FILE_ATTRIBUTES ? halvlib::string::GetErrorCategory().message(error)
                                                      : std::string("the file is a link"));
        return 2;
    }
    hasher.updateFromFile(file.get());
    if (hasher.total() != entry.size) {
        HALVLIB_LOG(halvlib::logging::Warning) << "Corrupt manifested file " << entry.fullPath
                                               << ": size is " << hasher.total() << ", expected " << entry.size;
        return 1;
    }
    struct Expected {
        std::uint32_t algorithm;
        const char* name;
        const std::string& digest;
    };
    const Expected expected[] = {
        {HashAlgorithm::sha384, "sha384", entry.sha384},
        {HashAlgorithm::sha256, "sha256", entry.sha256},
        {HashAlgorithm::sha1, "sha1", entry.sha1},
    };
    for (const Expected& each : expected) {
        if (!(entry.digestMask & each.algorithm))
            continue;
        const std::string computed = hasher.hexDigest(each.algorithm);
        if (computed != each.digest) {
            HALVLIB_LOG(halvlib::logging::Warning) << "Corrupt manifested file " << entry.fullPath << ": "
                                                   << each.name << " is " << computed << ", expected "
                                                   << each.digest;
            return 1;
        }
    }
    return 0;
}

}  // namespace

int ManifestedFile::check() const
{
    MultiHasher hasher(digestMask);
    return checkManifestedFile(*this, hasher);
}

int ManifestedFile::check(DigestProviders& providers) const
{
    MultiHasher hasher(digestMask, providers);
    return checkManifestedFile(*this, hasher);
}

PackageVerifier::PackageVerifier(const ManifestTrustStore& trustStore, bool rejectUnmanifestedFiles)
    : PackageVerifier(trustStore, rejectUnmanifestedFiles, readAttributes)
{
}

PackageVerifier::PackageVerifier(const ManifestTrustStore& trustStore, bool rejectUnmanifestedFiles,
                                 AttributesReader attributes)
    : trustStore(trustStore), rejectUnmanifestedFiles(rejectUnmanifestedFiles), attributes(std::move(attributes))
{
}

std::pair<bool, bool> PackageVerifier::verify(const std::wstring& folder)
{
    try {
        const ManifestedFolder manifested(folder, trustStore, attributes);
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
