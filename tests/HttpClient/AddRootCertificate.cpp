// Adds (or with --remove, deletes) a PEM/DER certificate in the machine's Root store, so that the
// system certificate check of a test trusts the test's own authority.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: AddRootCertificate FILE.der [--remove]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (der.empty())
        return 3;
    const HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store == nullptr)
        return 4;
    int result = 0;
    const bool remove = argc > 2 && std::wstring(argv[2]) == L"--remove";
    PCCERT_CONTEXT added = nullptr;
    if (!CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, &added))
        result = 5;
    else if (remove && !CertDeleteCertificateFromStore(added))  // frees the context
        result = 6;
    else if (!remove)
        CertFreeCertificateContext(added);
    CertCloseStore(store, 0);
    return result;
}
