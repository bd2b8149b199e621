#pragma once

#include <filesystem>
#include <string>

#include "PackageTrust/ManifestTrustStore.h"
#include "support/Process.h"
#include "support/TempFolder.h"

// The test PKI and signed packages that make_trust_fixtures.py writes at build time.
namespace test::trust {

inline std::filesystem::path Fixtures()
{
    return std::filesystem::path(test::FromBuildPath(HALVEX_TRUST_FIXTURES));
}

inline std::filesystem::path Pki(const std::wstring& name)
{
    return Fixtures() / L"pki" / name;
}

inline std::string PkiText(const std::wstring& name)
{
    return test::ReadFile(Pki(name));
}

// A root of the test PKI with the given CRL (the root's own by default).
inline void AddRoot(Setup::ManifestTrustStore& store, const std::wstring& root, const std::wstring& crl = L"")
{
    store.addRoot(PkiText(root + L".crt"), PkiText(crl.empty() ? root + L".crl" : crl));
}

inline Setup::ManifestTrustStore TestRootStore()
{
    Setup::ManifestTrustStore store({});
    AddRoot(store, L"root");
    return store;
}

// A writable copy of a signed package, so a test may change it.
inline std::filesystem::path CopyPackage(const std::wstring& name, const test::TempFolder& into)
{
    const std::filesystem::path target = into / name;
    std::filesystem::copy(Fixtures() / L"packages" / name, target, std::filesystem::copy_options::recursive);
    return target;
}

}  // namespace test::trust
