// Adds a certificate (DER) to the local machine's "ROOT" store of the Windows
// that runs it: in the tests, the throwaway Wine prefix, whose WinHTTP then
// trusts the servers the test CA signed. The machine's own trust store is a
// Linux one and is never touched.
//   brindle_trust_ca.exe CA.der [URL]
// exit code 0 once the certificate is in the store and, with URL, once a GET
// of URL through WinHTTP has been answered 200: the servers' set-up then fails
// at once, with WinHTTP's error number, when HTTPS does not work in the prefix,
// instead of every HTTPS test failing later with "WinHttpSendRequest failed".

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <cstdio>
#include <vector>

#include "common/win32_handles.h"

namespace {

bool trust(const wchar_t* path) {
    br::UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return false;
    }
    std::vector<BYTE> der(GetFileSize(file.get(), nullptr));
    DWORD got = 0;
    if (!ReadFile(file.get(), der.data(), static_cast<DWORD>(der.size()), &got, nullptr) || got != der.size()) {
        return false;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    if (store == nullptr) {
        return false;
    }
    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    return added;
}

// The error number of the first step that failed, 0 for an answer 200. Its own
// request rather than the launcher's client: that one tells which call failed,
// not WinHTTP's error number, which is what a broken prefix needs to show.
DWORD check(const wchar_t* url) {
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 255;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2047;
    if (!WinHttpCrackUrl(url, 0, 0, &parts)) {
        return GetLastError();
    }
    br::WinHttpHandle session(WinHttpOpen(L"brindle-trust-ca", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        return GetLastError();
    }
    br::WinHttpHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection) {
        return GetLastError();
    }
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    br::WinHttpHandle request(WinHttpOpenRequest(connection.get(), L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                                 WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    if (!request ||
        !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        return GetLastError();
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        &status, &size, WINHTTP_NO_HEADER_INDEX);
    return status == 200 ? 0 : status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 && argc != 3) {
        return 2;
    }
    if (!trust(argv[1])) {
        std::fprintf(stderr, "the certificate could not be added to the root store (%lu)\n", GetLastError());
        return 1;
    }
    if (argc == 3) {
        if (DWORD error = check(argv[2])) {
            std::fprintf(stderr, "%ls failed through WinHTTP: %lu\n", argv[2], error);
            return 3;
        }
    }
    return 0;
}
