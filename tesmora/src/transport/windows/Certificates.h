// Certificate checks of the Windows transport. WinHTTP is told to ignore every certificate
// error and the transport checks the peer here instead: WinHTTP cannot be given extra trusted
// CAs, Wine's WinHTTP reports its own certificate failures as plain channel errors, and Wine's
// name check ignores IP addresses in subjectAltName (see WinHttpTransport.cpp).
//
// Pure functions of CryptoAPI objects; nothing throws but std::bad_alloc.
#pragma once

// Winsock's headers before windows.h, which would otherwise bring in the old ones.
#include <winsock2.h>

#include <windows.h>

#include <wincrypt.h>

#include <memory>
#include <string>

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

// Why the peer's certificate is not trusted for host, or "" when it is: a chain to the system's
// roots or to one of extra_roots (may be null), valid now, for server use, naming the host (an
// IP address must be among the certificate's subjectAltName addresses).
std::string Distrust(PCCERT_CONTEXT cert, const std::string& host, HCERTSTORE extra_roots);

// The certificates of a PEM file in a memory store; error says why when there are none.
Store LoadCertificates(const std::string& path, std::string& error);

}  // namespace Tesmora::Net
