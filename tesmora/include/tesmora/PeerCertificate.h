// An endpoint's certificate, read for a person to check before trusting it, and the pins that
// trust a key whoever signed its certificate.
//
// A pin is "sha256:" and the base64 of the SHA-256 of the key's SubjectPublicKeyInfo (DER). Give
// pins to NetworkOptions (NetworkBackend.h) and a connection is accepted when the endpoint's key
// is one of them, and refused before anything is sent otherwise.
//
// ReadEndpointCertificate connects, completes the TLS handshake and reads the certificate;
// nothing is sent over the connection (no request, no credential). A lost connection or a
// refused handshake is tried once more, half a second later. Safe from any thread.
// Nothing throws but std::bad_alloc: a failure is told in the answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "tesmora/Export.h"

namespace Tesmora {

struct EndpointCertificate {
    std::string pin;         // "sha256:BASE64"
    std::string subject;     // "CN=bmc1.example.net, O=Example", as the certificate has them
    std::string issuer;      // the subject again for a self-signed certificate
    std::string not_before;  // "2026-01-31 23:59:59 UTC"
    std::string not_after;
    // Why the system's trust store (with the query's ca_file) does not vouch for it for the
    // host asked, or "" when it does.
    std::string distrust;
};

struct CertificateQuery {
    std::string host;  // a name, an IPv4 address or an IPv6 address without brackets
    std::uint16_t port = 443;
    std::string ca_file;  // PEM certificates trusted besides the system's store, for distrust
    std::chrono::milliseconds timeout{30000};
};

struct CertificateAnswer {
    std::optional<EndpointCertificate> certificate;
    std::string error;  // without a certificate: why, as a user is told ("cannot connect (...)")
    std::string hint;   // what may help, or ""
};

TESMORA_API CertificateAnswer ReadEndpointCertificate(const CertificateQuery& query);

// The pin in its one form ("sha256:" and 44 characters of base64); "sha256//BASE64" is read as
// well. nullopt for anything else, with why when why is given.
TESMORA_API std::optional<std::string> CanonicalPin(const std::string& text,
                                                    std::string* why = nullptr);

}  // namespace Tesmora
