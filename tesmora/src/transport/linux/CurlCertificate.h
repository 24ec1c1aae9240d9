// Certificates as libcurl saw them in a handshake (CURLINFO_CERTINFO, asked for with
// CURLOPT_CERTINFO), read with OpenSSL, the library libcurl does its TLS with here.
//
// Nothing throws but std::bad_alloc; a certificate OpenSSL cannot read is no certificate.
#pragma once

#include <curl/curl.h>

#include <optional>
#include <string>

#include "transport/PeerCertificate.h"

namespace Tesmora::Net {

// The peer's own certificate from the handle's last handshake (distrust left empty), or nullopt
// when libcurl kept none.
std::optional<PeerCertificate> FirstCertificate(CURL* handle);

}  // namespace Tesmora::Net
