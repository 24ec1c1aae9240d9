// Certificate checks of the Windows transport. WinHTTP is told to ignore every certificate
// error and the transport checks the peer here instead: WinHTTP cannot be given extra trusted
// CAs, Wine's WinHTTP reports its own certificate failures as plain channel errors, and Wine's
// name check ignores IP addresses in subjectAltName (see WinHttpTransport.cpp).
//
// Pure functions of CryptoAPI objects (and ShutDownConnection, which acts on a socket), and the
// small helpers both WinHTTP users share; nothing throws but std::bad_alloc, and Fail.
#pragma once

// Winsock's headers before windows.h, which would otherwise bring in the old ones.
#include <winsock2.h>

#include <windows.h>

#include <wincrypt.h>
#include <winhttp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "transport/PeerCertificate.h"
#include "transport/Transport.h"

namespace Tesmora::Net {

struct StoreCloser {
    void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
struct ChainCloser {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
struct CertCloser {
    void operator()(PCCERT_CONTEXT cert) const { CertFreeCertificateContext(cert); }
};
using Store = std::unique_ptr<void, StoreCloser>;
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainCloser>;
using Cert = std::unique_ptr<const CERT_CONTEXT, CertCloser>;
struct InternetCloser {
    void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

// UTF-8 to the UTF-16 of the Windows APIs and back; what does not convert is left out.
std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view wide);

// Throws TransportError (transport/Transport.h) of failure, telling WinHTTP's error number.
[[noreturn]] void Fail(TransportFailure failure, const std::string& what, DWORD error);

// Why the peer's certificate is not trusted for host, or "" when it is: a chain to the system's
// roots or to one of extra_roots (may be null), valid now, for server use, naming the host (an
// IP address must be among the certificate's subjectAltName addresses).
std::string Distrust(PCCERT_CONTEXT cert, const std::string& host, HCERTSTORE extra_roots);

// The certificates of a PEM file in a memory store; error says why when there are none.
Store LoadCertificates(const std::string& path, std::string& error);

// LoadCertificates, read once per run for each path: every transport (a fleet makes one per
// endpoint and connection) gets a handle of its own to the same store. Thread-safe.
Store SharedCertificates(const std::string& path, std::string& error);

// The pin of the certificate's key: the SHA-256 (CNG) of its SubjectPublicKeyInfo, DER-encoded
// by CryptoAPI; "" when it cannot be had.
std::string PinOf(PCCERT_CONTEXT cert);

// The certificate's pin, names and dates (PeerCertificate.h); distrust is left empty.
PeerCertificate Describe(PCCERT_CONTEXT cert);

// Whether the peer may be sent a request, with pins (canonical, PeerCertificate.h) or without:
// with them, when its key is one of them, or when extra_roots (a CA file) is given and Distrust
// finds nothing (either is enough); without them, when Distrust finds nothing.
struct Verdict {
    std::string rejected;  // "" when accepted; for kKeyNotPinned the pin of the peer's key
    TransportFailure failure = TransportFailure::kCertificate;
};
Verdict Judge(PCCERT_CONTEXT cert, const std::string& host, HCERTSTORE extra_roots,
              const std::vector<std::string>& pins);

// Stops a send that WinHTTP would make anyway (Wine, see WinHttpTransport.cpp): shuts down the
// socket with the request's local address or, where there is none to compare, every one
// connected to this remote port.
void ShutDownConnection(HINTERNET request, std::uint16_t remote_port);

}  // namespace Tesmora::Net
