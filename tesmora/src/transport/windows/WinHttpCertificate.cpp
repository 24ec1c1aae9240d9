// Reading a peer's certificate on Windows. WinHTTP connects and completes the TLS handshake for a
// request that never leaves: the status callback reads the certificate at
// WINHTTP_CALLBACK_STATUS_SENDING_REQUEST and stops the send there, as the transport does for a
// peer it refuses (ShutDownConnection, WinHttpTransport.cpp says why Wine needs it), so that the
// peer sees the handshake and nothing else.

// Winsock's headers before windows.h, which would otherwise bring in the old ones.
#include <winsock2.h>

#include <windows.h>

#include <winhttp.h>

#include <algorithm>
#include <optional>

#include "transport/PeerCertificate.h"
#include "transport/windows/Certificates.h"

namespace Tesmora::Net {

namespace {

// What the status callback learns.
struct Reading {
    std::string host;
    std::uint16_t port = 0;
    HCERTSTORE extra_roots = nullptr;
    bool reached = false;  // the handshake was done and the send about to start
    std::optional<PeerCertificate> peer;
    bool handle_closed = false;
};

void CALLBACK OnCertificateStatus(HINTERNET request, DWORD_PTR context, DWORD status, void*,
                                  DWORD) noexcept {
    if (context == 0 || status != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST) {
        return;
    }
    auto& reading = *reinterpret_cast<Reading*>(context);
    reading.reached = true;
    try {
        PCCERT_CONTEXT raw = nullptr;
        DWORD size = sizeof raw;
        if (WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &raw, &size) &&
            raw != nullptr) {
            const Cert cert(raw);
            PeerCertificate peer = Describe(cert.get());
            peer.distrust = Distrust(cert.get(), reading.host, reading.extra_roots);
            if (!peer.pin.empty()) {
                reading.peer = std::move(peer);
            }
        }
    } catch (const std::exception&) {
        reading.peer.reset();
    }
    ShutDownConnection(request, reading.port);
    reading.handle_closed = WinHttpCloseHandle(request) != FALSE;
}

TransportFailure FailureOf(DWORD error) {
    switch (error) {
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return TransportFailure::kNameNotResolved;
        case ERROR_WINHTTP_CANNOT_CONNECT:
            return TransportFailure::kConnectFailed;
        case ERROR_WINHTTP_TIMEOUT:
        case WSAETIMEDOUT:
            return TransportFailure::kTimedOut;
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
            return TransportFailure::kTlsFailed;
        default:
            return TransportFailure::kConnectionLost;
    }
}

}  // namespace

PeerCertificate ReadPeerCertificate(const TransportOptions& options) {
    const std::string authority = Authority(options.host, options.port);
    const Internet session(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        Fail(TransportFailure::kConnectFailed, "cannot start WinHTTP", GetLastError());
    }
    const bool ipv6 = options.host.find(':') != std::string::npos;
    const std::string name = ipv6 ? "[" + options.host + "]" : options.host;
    const Internet connect(WinHttpConnect(session.get(), Wide(name).c_str(), options.port, 0));
    if (!connect) {
        Fail(TransportFailure::kNameNotResolved, "cannot use the host name " + name,
             GetLastError());
    }
    Internet request(WinHttpOpenRequest(connect.get(), L"GET", L"/", L"HTTP/1.1",
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                        WINHTTP_FLAG_SECURE));
    if (!request) {
        Fail(TransportFailure::kConnectFailed, "cannot open a connection", GetLastError());
    }
    // Whatever the certificate is, it is read; Distrust says what verification makes of it.
    DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                   SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
    const int limit =
        static_cast<int>(std::min<long long>(options.connect_timeout.count(), 0x7fffffff));
    WinHttpSetTimeouts(request.get(), limit, limit, limit, limit);

    std::string ca_error;
    Store extra_roots;
    if (!options.ca_file.empty()) {
        extra_roots = LoadCertificates(options.ca_file, ca_error);
    }
    Reading reading;
    reading.host = options.host;
    reading.port = options.port;
    reading.extra_roots = extra_roots.get();
    WinHttpSetStatusCallback(request.get(), OnCertificateStatus, WINHTTP_CALLBACK_FLAG_SEND_REQUEST,
                             0);
    const bool sent =
        WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                           0, 0, reinterpret_cast<DWORD_PTR>(&reading));
    const DWORD error = sent ? 0 : GetLastError();
    if (reading.handle_closed) {
        (void)request.release();
    }
    if (reading.peer) {
        if (!ca_error.empty() && !reading.peer->distrust.empty()) {
            reading.peer->distrust += "; " + ca_error;
        }
        return *reading.peer;
    }
    if (reading.reached || sent) {
        throw TransportError(
            TransportFailure::kTlsFailed,
            "the peer at " + authority + " presented no certificate that can be read");
    }
    Fail(FailureOf(error), "no TLS session with " + authority, error);
}

}  // namespace Tesmora::Net
