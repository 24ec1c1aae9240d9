#include "transport/windows/Certificates.h"

#include <bcrypt.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

namespace Tesmora::Net {

namespace {

// Most specific part first, ", " between the parts: the text the Linux transport gives.
std::string NameText(const CERT_NAME_BLOB& name) {
    const DWORD flags =
        CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG | CERT_NAME_STR_NO_QUOTING_FLAG;
    auto* const blob = const_cast<CERT_NAME_BLOB*>(&name);
    const DWORD length = CertNameToStrW(X509_ASN_ENCODING, blob, flags, nullptr, 0);
    if (length <= 1) {
        return std::string();
    }
    std::wstring wide(length, L'\0');
    CertNameToStrW(X509_ASN_ENCODING, blob, flags, wide.data(), length);
    wide.resize(length - 1);
    return Narrow(wide);
}

std::string TimeText(const FILETIME& time) {
    SYSTEMTIME parts{};
    if (!FileTimeToSystemTime(&time, &parts)) {
        return std::string();
    }
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", parts.wYear, parts.wMonth,
                  parts.wDay, parts.wHour, parts.wMinute, parts.wSecond);
    return text;
}

// SHA-256 by CNG; "" when it fails.
std::string Sha256(const BYTE* data, DWORD size) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        return std::string();
    }
    std::string digest(kPinDigestBytes, '\0');
    BCRYPT_HASH_HANDLE hash = nullptr;
    const bool done =
        BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)) &&
        BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<BYTE*>(data), size, 0)) &&
        BCRYPT_SUCCESS(BCryptFinishHash(hash, reinterpret_cast<BYTE*>(digest.data()),
                                        static_cast<ULONG>(digest.size()), 0));
    if (hash != nullptr) {
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return done ? digest : std::string();
}

// The address bytes of an IP literal (4 or 16 of them), or nothing for a host name.
std::optional<std::string> AddressBytes(const std::string& host) {
    in6_addr v6{};
    if (InetPtonA(AF_INET6, host.c_str(), &v6) == 1) {
        return std::string(reinterpret_cast<const char*>(&v6), sizeof v6);
    }
    in_addr v4{};
    if (InetPtonA(AF_INET, host.c_str(), &v4) == 1) {
        return std::string(reinterpret_cast<const char*>(&v4), sizeof v4);
    }
    return std::nullopt;
}

bool NamesAddress(PCCERT_CONTEXT cert, const std::string& address) {
    const CERT_EXTENSION* const extension = CertFindExtension(
        szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (extension == nullptr ||
        !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                             &size)) {
        return false;
    }
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                std::string_view(reinterpret_cast<const char*>(entry.IPAddress.pbData),
                                 entry.IPAddress.cbData) == address;
    }
    LocalFree(names);
    return found;
}

}  // namespace

std::wstring Wide(std::string_view text) {
    std::wstring wide(text.size(), L'\0');
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    std::string text(wide.size() * 3, '\0');
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                            static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    return text;
}

void Fail(TransportFailure failure, const std::string& what, DWORD error) {
    throw TransportError(failure, what + " (WinHTTP error " + std::to_string(error) + ")");
}

std::string Distrust(PCCERT_CONTEXT cert, const std::string& host, HCERTSTORE extra_roots) {
    Store search(CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
    CertAddStoreToCollection(search.get(), cert->hCertStore, 0, 0);
    if (extra_roots != nullptr) {
        CertAddStoreToCollection(search.get(), extra_roots, 0, 0);
    }
    char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {server_auth};
    CERT_CHAIN_PARA chain_para{};
    chain_para.cbSize = sizeof chain_para;
    chain_para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chain_para.RequestedUsage.Usage.cUsageIdentifier = 1;
    chain_para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!CertGetCertificateChain(nullptr, cert, nullptr, search.get(), &chain_para, 0, nullptr,
                                 &built)) {
        return "cannot build the certificate chain";
    }
    const Chain chain(built);
    DWORD errors = chain->TrustStatus.dwErrorStatus;
    const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[0];
    const PCCERT_CONTEXT root = simple.rgpElement[simple.cElement - 1]->pCertContext;
    const DWORD unknown_root = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN;
    const bool extra_root =
        (errors & unknown_root) != 0 && extra_roots != nullptr &&
        Cert(CertFindCertificateInStore(extra_roots, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, root,
                                        nullptr)) != nullptr;
    if (extra_root) {
        errors &= ~unknown_root;
    }
    if ((errors & CERT_TRUST_IS_NOT_TIME_VALID) != 0) {
        return "certificate expired or not yet valid";
    }
    if (errors != CERT_TRUST_NO_ERROR) {
        return "certificate not trusted (chain status " + std::to_string(errors) + ")";
    }

    const std::optional<std::string> address = AddressBytes(host);
    const std::wstring name = Wide(host);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = (extra_root ? SECURITY_FLAG_IGNORE_UNKNOWN_CA : 0) |
                    (address ? SECURITY_FLAG_IGNORE_CERT_CN_INVALID : 0);
    ssl.pwszServerName = const_cast<wchar_t*>(name.c_str());
    CERT_CHAIN_POLICY_PARA policy_para{};
    policy_para.cbSize = sizeof policy_para;
    policy_para.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy_para,
                                          &status)) {
        return "cannot check the certificate";
    }
    if (status.dwError == DWORD(CERT_E_CN_NO_MATCH) ||
        (status.dwError == 0 && address && !NamesAddress(cert, *address))) {
        return "certificate does not name " + host;
    }
    if (status.dwError != 0) {
        return "certificate refused (policy error " + std::to_string(status.dwError) + ")";
    }
    return std::string();
}

Store SharedCertificates(const std::string& path, std::string& error) {
    struct Loaded {
        Store store;
        std::string error;
    };
    static std::mutex mutex;
    static std::map<std::string, Loaded> loaded;  // kept for the run
    std::lock_guard<std::mutex> lock(mutex);
    auto found = loaded.find(path);
    if (found == loaded.end()) {
        Loaded fresh;
        fresh.store = LoadCertificates(path, fresh.error);
        found = loaded.emplace(path, std::move(fresh)).first;
    }
    error = found->second.error;
    return Store(found->second.store ? CertDuplicateStore(found->second.store.get()) : nullptr);
}

Store LoadCertificates(const std::string& path, std::string& error) {
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    const std::string pem{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    Store store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    const std::string begin = "-----BEGIN CERTIFICATE-----";
    const std::string end = "-----END CERTIFICATE-----";
    int count = 0;
    for (std::size_t at = pem.find(begin); at != std::string::npos; at = pem.find(begin, at + 1)) {
        const std::size_t stop = pem.find(end, at);
        if (stop == std::string::npos) {
            break;
        }
        const std::string base64 = pem.substr(at + begin.size(), stop - at - begin.size());
        DWORD size = 0;
        CryptStringToBinaryA(base64.data(), static_cast<DWORD>(base64.size()), CRYPT_STRING_BASE64,
                             nullptr, &size, nullptr, nullptr);
        std::string der(size, '\0');
        if (CryptStringToBinaryA(base64.data(), static_cast<DWORD>(base64.size()),
                                 CRYPT_STRING_BASE64, reinterpret_cast<BYTE*>(der.data()), &size,
                                 nullptr, nullptr) &&
            CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                             reinterpret_cast<const BYTE*>(der.data()), size,
                                             CERT_STORE_ADD_ALWAYS, nullptr)) {
            ++count;
        }
    }
    if (count == 0) {
        error = "no certificate could be read from the CA file " + path;
    }
    return store;
}

std::string PinOf(PCCERT_CONTEXT cert) {
    BYTE* key = nullptr;
    DWORD size = 0;
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                             &cert->pCertInfo->SubjectPublicKeyInfo, CRYPT_ENCODE_ALLOC_FLAG,
                             nullptr, &key, &size)) {
        return std::string();
    }
    const std::string digest = Sha256(key, size);
    LocalFree(key);
    return digest.empty() ? std::string() : PinOfDigest(digest);
}

PeerCertificate Describe(PCCERT_CONTEXT cert) {
    PeerCertificate peer;
    peer.pin = PinOf(cert);
    peer.subject = NameText(cert->pCertInfo->Subject);
    peer.issuer = NameText(cert->pCertInfo->Issuer);
    peer.not_before = TimeText(cert->pCertInfo->NotBefore);
    peer.not_after = TimeText(cert->pCertInfo->NotAfter);
    return peer;
}

Verdict Judge(PCCERT_CONTEXT cert, const std::string& host, HCERTSTORE extra_roots,
              const std::vector<std::string>& pins) {
    if (pins.empty()) {
        return Verdict{Distrust(cert, host, extra_roots)};
    }
    const std::string pin = PinOf(cert);
    if ((!pin.empty() && IsPinned(pins, pin)) ||
        (extra_roots != nullptr && Distrust(cert, host, extra_roots).empty())) {
        return Verdict{};
    }
    return Verdict{pin.empty() ? "a key that cannot be read" : pin,
                   TransportFailure::kKeyNotPinned};
}

void ShutDownConnection(HINTERNET request, std::uint16_t remote_port) {
    WINHTTP_CONNECTION_INFO info{};
    info.cbSize = sizeof info;
    DWORD size = sizeof info;
    const bool known = WinHttpQueryOption(request, WINHTTP_OPTION_CONNECTION_INFO, &info, &size);
    // Handle values start at 4 and are handed out lowest first; the scan ends far beyond the
    // handles a process of this kind holds.
    for (UINT_PTR value = 4; value < 0x10000; value += 4) {
        const auto socket = static_cast<SOCKET>(value);
        sockaddr_storage address{};
        int length = sizeof address;
        const bool match =
            known ? getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
                        std::memcmp(&address, &info.LocalAddress, length) == 0
                  : getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
                        address.ss_family == AF_INET6 &&
                        ntohs(reinterpret_cast<sockaddr_in6&>(address).sin6_port) == remote_port;
        if (match) {
            shutdown(socket, SD_BOTH);
            if (known) {
                return;
            }
        }
    }
}

}  // namespace Tesmora::Net
