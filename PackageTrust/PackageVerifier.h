#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "PackageTrust/ManifestParser.h"
#include "PackageTrust/ManifestTrustStore.h"

namespace Setup {

// How the folder walk reads an item's attributes (INVALID_FILE_ATTRIBUTES on failure); replaceable
// so that a link can be tested where the system makes none.
using AttributesReader = std::function<DWORD(const std::wstring& path)>;

// Proves that a folder holds exactly what its signed manifests list.
class IPackageVerifier {
public:
    virtual ~IPackageVerifier() = default;
    // (setup.dll listed, setup64.dll listed); throws Setup::FatalError only.
    virtual std::pair<bool, bool> verify(const std::wstring& folder) = 0;
};

class PackageVerifier : public IPackageVerifier {
public:
    // Strict (rejectUnmanifestedFiles) after a download; lenient for a stage 2 already in place,
    // which may have written files of its own.
    PackageVerifier(const ManifestTrustStore& trustStore, bool rejectUnmanifestedFiles);
    PackageVerifier(const ManifestTrustStore& trustStore, bool rejectUnmanifestedFiles, AttributesReader attributes);

    std::pair<bool, bool> verify(const std::wstring& folder) override;

private:
    ManifestTrustStore trustStore;
    bool rejectUnmanifestedFiles;
    AttributesReader attributes;
};

// One loaded, signature-checked manifest file.
struct Manifest {
    Manifest(const std::wstring& path, const ManifestTrustStore& trustStore);

    std::wstring path;
    std::vector<ManifestedFile> entries;
};

// A folder tree with its manifests, and the items no manifest lists. A link (any reparse point)
// anywhere in the tree fails the walk.
class ManifestedFolder {
public:
    ManifestedFolder(const std::wstring& folder, const ManifestTrustStore& trustStore);
    ManifestedFolder(const std::wstring& folder, const ManifestTrustStore& trustStore,
                     const AttributesReader& attributes);

    // Throws on the first listed file that is missing or differs.
    void checkFiles() const;
    std::vector<std::wstring> manifestedFiles() const;

    std::wstring folder;
    std::vector<Manifest> manifests;
    std::set<std::wstring> unmanifested;  // comparison forms
};

// Refuses a manifest whose entry paths would leave its folder or name a device.
std::vector<ManifestedFile> loadManifest(const std::wstring& path, const ManifestTrustStore& trustStore);
bool isFileInList(const std::vector<std::wstring>& list, const std::wstring& path);

// Manifests larger than this are ordinary files.
constexpr std::uintmax_t kMaximumManifestSize = 1024 * 1024;

}  // namespace Setup
