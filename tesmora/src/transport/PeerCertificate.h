// What a TLS peer's certificate is, as a user checks it before trusting it: the pin of its key,
// its names and dates, and whether the system would trust it.
//
// A pin names a public key whoever signed the certificate that carries it: "sha256:" and the
// base64 (with padding) of the SHA-256 of the key's DER-encoded SubjectPublicKeyInfo. That is
// what survives a controller's new self-signed certificate as long as its key stays, and what
// changes when someone in the middle presents a key of their own.
//
// ReadPeerCertificate is platform code (linux/CurlCertificate.cpp, windows/WinHttpCertificate.cpp)
// and throws TransportError; the rest is pure and throws nothing but std::bad_alloc.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transport/Transport.h"

namespace Tesmora::Net {

struct PeerCertificate {
    std::string pin;         // "sha256:BASE64"
    std::string subject;     // "CN=bmc1.example.net, O=Example", most specific name first
    std::string issuer;      // the same for who signed it (the subject again when self-signed)
    std::string not_before;  // "2026-01-31 23:59:59 UTC"
    std::string not_after;
    // Why the system's trust store (with options.ca_file) does not vouch for it for
    // options.host, or "" when it does.
    std::string distrust;
};

// Connects to options.host and options.port, completes the TLS handshake and reads the peer's
// own certificate. Nothing is sent over the connection, and it is closed at once. The
// certificate is read whatever it is; only distrust says what verification would make of it.
PeerCertificate ReadPeerCertificate(const TransportOptions& options);

inline constexpr std::size_t kPinDigestBytes = 32;

// Base64 with padding, RFC 4648's alphabet.
std::string Base64(std::string_view bytes);

// The pin of a key whose SHA-256 is digest (kPinDigestBytes bytes).
std::string PinOfDigest(std::string_view digest);

// The pin text in its one form, "sha256:" and 44 characters of base64; "sha256//BASE64" is
// read as well (the form HTTP public-key pinning writes). nullopt for anything else, with why
// when why is given.
std::optional<std::string> CanonicalPin(std::string_view text, std::string* why = nullptr);

// Whether pin is among pins (each in its canonical form).
bool IsPinned(const std::vector<std::string>& pins, std::string_view pin);

}  // namespace Tesmora::Net
