#include "tesmora/PeerCertificate.h"

#include <chrono>
#include <thread>

#include "tesmora/HostAddress.h"
#include "transport/Failure.h"
#include "transport/PeerCertificate.h"

namespace Tesmora {

CertificateAnswer ReadEndpointCertificate(const CertificateQuery& query) {
    CertificateAnswer answer;
    std::string why;
    if (!IsHostText(query.host, &why)) {
        answer.error = why;
        return answer;
    }
    Net::TransportOptions options;
    options.host = query.host;
    options.port = query.port;
    options.ca_file = query.ca_file;
    options.connect_timeout = query.timeout;
    options.request_timeout = query.timeout;
    // A busy controller's TLS stack refuses a handshake now and then: one more try, after the
    // network clients' first back-off.
    for (int attempt = 0;; ++attempt) {
        try {
            const Net::PeerCertificate peer = Net::ReadPeerCertificate(options);
            answer.certificate =
                EndpointCertificate{peer.pin,        peer.subject,   peer.issuer,
                                    peer.not_before, peer.not_after, peer.distrust};
            return answer;
        } catch (const Net::TransportError& error) {
            if (attempt == 0 && Net::Retryable(error.failure())) {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                continue;
            }
            const Net::Error told = Net::ErrorOf(error, Net::Authority(query.host, query.port),
                                                 "the certificate", "HTTPS service");
            answer.error = told.what();
            answer.hint = told.hint();
            return answer;
        }
    }
}

std::optional<std::string> CanonicalPin(const std::string& text, std::string* why) {
    return Net::CanonicalPin(text, why);
}

}  // namespace Tesmora
