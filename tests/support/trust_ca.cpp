// Adds a certificate (DER) to the local machine's "ROOT" store of the Windows
// that runs it: in the tests, the throwaway Wine prefix, whose WinHTTP then
// trusts the servers the test CA signed. The machine's own trust store is a
// Linux one and is never touched.
//   brindle_trust_ca.exe CA.der     exit code 0 once the certificate is in the store

#include <windows.h>
#include <wincrypt.h>

#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    std::vector<BYTE> der(GetFileSize(file, nullptr));
    DWORD got = 0;
    BOOL read = ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &got, nullptr);
    CloseHandle(file);
    if (!read || got != der.size()) {
        return 1;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    if (store == nullptr) {
        return 1;
    }
    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    return added ? 0 : 1;
}
