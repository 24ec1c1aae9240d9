// The transport on Windows: WinHTTP, one session and one connect handle per transport; WinHTTP
// keeps the connection open between requests and reuses it.
//
// WinHTTP is told to do as little as possible on its own, so that callers see what the endpoint
// sent, as with libcurl: no proxy (management networks are reached directly), no cookies, no
// redirects, no automatic authentication, no decompression of its own: gzip is asked for in a
// header and decoded by DecodeContent, as on Linux, which holds the decoded body to the size cap
// (WinHTTP's own decompression knows no cap, so a small bomb would fill the memory).
//
// Certificates are checked by this transport (Certificates.h), not by WinHTTP: WinHTTP ignores
// every certificate error, and the status callback checks the peer at
// WINHTTP_CALLBACK_STATUS_SENDING_REQUEST, after the TLS handshake and before any byte of the
// request (which may carry credentials) leaves. WinHTTP alone cannot do the job: it cannot be given
// extra trusted CAs (ca_file); Wine's WinHTTP reports its own certificate failures as a plain
// channel error, so kCertificate could not be told from kTlsFailed; and Wine's name check ignores
// IP addresses in subjectAltName. With pins the callback hashes the peer's key and compares it
// instead: chain and names do not count for that request, unless a CA file is given, whose
// verdict is then enough as well (Judge).
//
// What Wine 8 does differently, read in its source and seen against the test server:
// - Closing the request handle in that callback is how Windows cancels a request. Wine's
//   request holds its own reference while it sends, so the request goes out all the same. The
//   callback therefore also shuts down the connection's socket, found among the process's
//   handles by the local address WINHTTP_OPTION_CONNECTION_INFO reports (by the peer's port
//   where Wine cannot report it, as for IPv6): the send then fails and nothing leaves.
// - Its connection pool is process-wide, keyed by host and port alone, so a connection opened
//   by a transport that does not verify can serve one that does. The check therefore runs on
//   every request, not only on new connections.
// - WinHttpConnect takes an IPv6 literal in brackets, as Windows wants it, but first asks for an
//   IPv4 address of "[::1]", which goes to DNS and may take a while; the IPv6 lookup that follows
//   drops the brackets and succeeds.
//
// WinHTTP's time-outs bound single operations; the transport keeps the request's deadline and
// gives each operation only the time left, reading the body no faster than it arrives so that a
// trickling peer is stopped near the deadline.
//
// Where WinHTTP under Wine and libcurl still differ: a peer that closes the connection without a
// word is kMalformed here (WinHTTP reports it like a garbled answer) and kConnectionLost there.

// Winsock's headers before windows.h, which would otherwise bring in the old ones.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "transport/Transport.h"
#include "transport/windows/Certificates.h"

namespace Tesmora::Net {

namespace {

using Clock = std::chrono::steady_clock;

TransportFailure FailureOf(DWORD error, DWORD secure_failure_flags) {
    switch (error) {
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return TransportFailure::kNameNotResolved;
        case ERROR_WINHTTP_CANNOT_CONNECT:
            return TransportFailure::kConnectFailed;
        case ERROR_WINHTTP_TIMEOUT:
        case WSAETIMEDOUT:
            return TransportFailure::kTimedOut;
        case ERROR_WINHTTP_SECURE_FAILURE: {
            const DWORD channel = WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR;
            return (secure_failure_flags & ~channel) != 0 ? TransportFailure::kCertificate
                                                          : TransportFailure::kTlsFailed;
        }
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
            return TransportFailure::kCertificate;
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
            return TransportFailure::kTlsFailed;
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
            return TransportFailure::kMalformed;
        case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
        case ERROR_WINHTTP_HEADER_COUNT_EXCEEDED:
            return TransportFailure::kHeaderFlood;
        default:
            return TransportFailure::kConnectionLost;
    }
}

// What the status callback learns while one request is sent.
struct SendState {
    bool verify = false;
    std::string host;
    std::uint16_t port = 0;
    HCERTSTORE extra_roots = nullptr;
    const std::vector<std::string>* pins = nullptr;
    std::string rejected;  // why the peer's certificate was refused, "" if it was not
    TransportFailure failure = TransportFailure::kCertificate;  // when it was
    bool handle_closed = false;
    DWORD secure_failure_flags = 0;
};

void CALLBACK OnStatus(HINTERNET request, DWORD_PTR context, DWORD status, void* info,
                       DWORD length) noexcept {
    if (context == 0) {
        return;
    }
    auto& state = *reinterpret_cast<SendState*>(context);
    if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && info != nullptr &&
        length >= sizeof(DWORD)) {
        state.secure_failure_flags = *static_cast<const DWORD*>(info);
    }
    if (status != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST || !state.verify) {
        return;
    }
    try {
        PCCERT_CONTEXT raw = nullptr;
        DWORD size = sizeof raw;
        if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &raw, &size) ||
            raw == nullptr) {
            state.rejected = "no certificate from the peer";
        } else {
            const Cert cert(raw);
            const Verdict verdict = Judge(cert.get(), state.host, state.extra_roots, *state.pins);
            state.rejected = verdict.rejected;
            state.failure = verdict.failure;
        }
    } catch (const std::exception&) {
        state.rejected = "certificate check failed";
    }
    if (!state.rejected.empty()) {
        ShutDownConnection(request, state.port);
        state.handle_closed = WinHttpCloseHandle(request) != FALSE;
    }
}

class WinHttpTransport : public Transport {
public:
    explicit WinHttpTransport(const TransportOptions& options) : options_(options) {
        session_.reset(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session_) {
            Fail(TransportFailure::kConnectFailed, "cannot start WinHTTP", GetLastError());
        }
        // Set on the session before any connect handle exists, which copies it from there.
        DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        WinHttpSetOption(session_.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
        // No network yet: WinHTTP resolves and connects at the first request.
        const bool ipv6 = options_.host.find(':') != std::string::npos;
        const std::string name = ipv6 ? "[" + options_.host + "]" : options_.host;
        connect_.reset(WinHttpConnect(session_.get(), Wide(name).c_str(), options_.port, 0));
        if (!connect_) {
            Fail(TransportFailure::kNameNotResolved, "cannot use the host name " + name,
                 GetLastError());
        }
        if (options_.use_tls && options_.verify_peer && !options_.ca_file.empty()) {
            extra_roots_ = SharedCertificates(options_.ca_file, ca_error_);
        }
    }

    HttpResponse Send(const HttpRequest& request) override {
        if (!ca_error_.empty()) {
            throw TransportError(TransportFailure::kCertificate, ca_error_);
        }
        RefuseNamesThatNeverResolve(options_.host);
        // The object name goes to the connect handle's host as it is: only a path may.
        if (!IsOriginForm(request.target)) {
            throw TransportError(TransportFailure::kBadTarget, "the request target is not a path");
        }
        const Clock::time_point start = Clock::now();
        const Clock::time_point deadline = start + LimitFor(request, options_.request_timeout);
        Internet handle = OpenRequest(request);
        LimitTo(handle.get(), deadline, start + LimitFor(request, options_.connect_timeout));
        Dispatch(handle, request);
        HttpResponse response = ReadHead(handle.get());
        ReadBody(handle.get(), request, deadline, response);
        DecodeContent(response, options_.max_body_bytes);
        return response;
    }

private:
    Internet OpenRequest(const HttpRequest& request) {
        Internet handle(WinHttpOpenRequest(
            connect_.get(), Wide(request.method).c_str(), Wide(request.target).c_str(), L"HTTP/1.1",
            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
            WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY |
                (options_.use_tls ? WINHTTP_FLAG_SECURE : 0)));
        if (!handle) {
            Fail(TransportFailure::kConnectFailed, "cannot open a request", GetLastError());
        }
        HINTERNET const h = handle.get();
        DWORD disable = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION;
        WinHttpSetOption(h, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
        DWORD autologon = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
        WinHttpSetOption(h, WINHTTP_OPTION_AUTOLOGON_POLICY, &autologon, sizeof autologon);
        DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                       SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                       SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
        if (options_.use_tls) {
            WinHttpSetOption(h, WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
        }
        AddHeaders(h, request);
        return handle;
    }

    // Sends the request and waits for the answer's head; the status callback may refuse the
    // peer, and close the handle, on the way.
    void Dispatch(Internet& handle, const HttpRequest& request) {
        HINTERNET const h = handle.get();
        SendState state;
        state.verify = options_.use_tls && (options_.verify_peer || !options_.pins.empty());
        state.host = options_.host;
        state.port = options_.port;
        state.extra_roots = extra_roots_.get();
        state.pins = &options_.pins;
        WinHttpSetStatusCallback(
            h, OnStatus, WINHTTP_CALLBACK_FLAG_SEND_REQUEST | WINHTTP_CALLBACK_FLAG_SECURE_FAILURE,
            0);
        void* const body =
            request.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(request.body.data());
        const auto length = static_cast<DWORD>(request.body.size());
        const bool sent = WinHttpSendRequest(h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, length,
                                             length, reinterpret_cast<DWORD_PTR>(&state));
        const DWORD error = sent ? 0 : GetLastError();
        if (state.handle_closed) {
            (void)handle.release();
        }
        if (state.failure == TransportFailure::kKeyNotPinned) {
            throw TransportError(state.failure, state.rejected);
        }
        if (!state.rejected.empty()) {
            throw TransportError(state.failure, state.rejected + " (" + Authority() + ")");
        }
        if (!sent || !WinHttpReceiveResponse(h, nullptr)) {
            const DWORD code = sent ? GetLastError() : error;
            Fail(FailureOf(code, state.secure_failure_flags),
                 "request to " + Authority() + " failed", code);
        }
    }

    DWORD Remaining(Clock::time_point deadline) const {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            throw TransportError(TransportFailure::kTimedOut,
                                 "no complete answer from " + Authority() + " in time");
        }
        return static_cast<DWORD>(std::min<long long>(left, 0x7fffffff));
    }

    // Every WinHTTP time-out as the time left; resolving and connecting also within their own.
    void LimitTo(HINTERNET request, Clock::time_point deadline, Clock::time_point connect_by) {
        const int left = static_cast<int>(Remaining(deadline));
        const int connect = static_cast<int>(std::min(Remaining(connect_by), DWORD(left)));
        WinHttpSetTimeouts(request, connect, connect, left, left);
        DWORD response = DWORD(left);
        WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response,
                         sizeof response);
    }

    std::string Authority() const { return Net::Authority(options_.host, options_.port); }

    void AddHeaders(HINTERNET h, const HttpRequest& request) {
        std::string block = std::string(kAcceptEncoding) + "\r\n";
        for (const HttpHeader& header : request.headers) {
            block += header.name + ": " + header.value + "\r\n";
        }
        const std::wstring wide = Wide(block);
        if (!wide.empty() &&
            !WinHttpAddRequestHeaders(h, wide.c_str(), DWORD(-1), WINHTTP_ADDREQ_FLAG_ADD)) {
            Fail(TransportFailure::kMalformed, "request headers not accepted", GetLastError());
        }
    }

    HttpResponse ReadHead(HINTERNET h) {
        DWORD size = 0;
        WinHttpQueryHeaders(h, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                            nullptr, &size, WINHTTP_NO_HEADER_INDEX);
        std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
        if (!WinHttpQueryHeaders(h, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                 raw.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
            Fail(TransportFailure::kMalformed, "no answer headers from " + Authority(),
                 GetLastError());
        }
        const std::string head = Narrow(std::wstring_view(raw.c_str()));
        if (head.size() > kMaxHeaderBytes) {
            throw TransportError(TransportFailure::kHeaderFlood,
                                 "the answer from " + Authority() + " has too many headers");
        }
        // WinHTTP takes any line with a three-character second word for a status line.
        HttpResponse response;
        const bool http = head.compare(0, 5, "HTTP/") == 0 && head.size() > 12 && head[8] == ' ' &&
                          std::isdigit(static_cast<unsigned char>(head[9])) &&
                          std::isdigit(static_cast<unsigned char>(head[10])) &&
                          std::isdigit(static_cast<unsigned char>(head[11]));
        if (!http) {
            throw TransportError(TransportFailure::kMalformed,
                                 "the peer at " + Authority() + " does not answer in HTTP");
        }
        response.status = std::stoi(head.substr(9, 3));
        std::size_t line = head.find("\r\n");
        while (line != std::string::npos && line + 2 < head.size()) {
            const std::size_t next = head.find("\r\n", line + 2);
            const std::string text = head.substr(line + 2, next - line - 2);
            const std::size_t colon = text.find(':');
            if (colon != std::string::npos) {
                if (response.headers.size() >= kMaxHeaderLines) {
                    throw TransportError(
                        TransportFailure::kHeaderFlood,
                        "the answer from " + Authority() + " has too many headers");
                }
                const std::size_t value = text.find_first_not_of(" \t", colon + 1);
                response.headers.push_back(
                    HttpHeader{text.substr(0, colon),
                               value == std::string::npos ? std::string() : text.substr(value)});
            }
            line = next;
        }
        return response;
    }

    void ReadBody(HINTERNET h, const HttpRequest& request, Clock::time_point deadline,
                  HttpResponse& response) {
        const bool bodiless = request.method == "HEAD" || response.status == 204 ||
                              response.status == 304 || response.status / 100 == 1;
        std::optional<unsigned long long> announced;
        if (const std::string* length = response.Header("Content-Length"); length && !bodiless) {
            try {
                announced = std::stoull(*length);
            } catch (const std::exception&) {
                throw TransportError(TransportFailure::kMalformed,
                                     "unreadable Content-Length from " + Authority());
            }
        }
        const auto too_large = [&] {
            return TransportError(TransportFailure::kTooLarge,
                                  "the answer from " + Authority() + " exceeds " +
                                      std::to_string(options_.max_body_bytes) + " bytes");
        };
        if (announced && *announced > options_.max_body_bytes) {
            throw too_large();
        }
        std::string buffer;
        for (;;) {
            // One read at a time, each no larger than what has arrived: WinHTTP would otherwise
            // wait to fill the buffer, past the deadline if the peer trickles.
            const DWORD left = Remaining(deadline);
            WinHttpSetTimeouts(h, int(left), int(left), int(left), int(left));
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(h, &available)) {
                const DWORD error = GetLastError();
                Fail(FailureOf(error, 0), "reading the answer from " + Authority(), error);
            }
            if (available == 0) {
                break;
            }
            if (response.body.size() + available > options_.max_body_bytes) {
                throw too_large();
            }
            buffer.resize(available);
            DWORD read = 0;
            if (!WinHttpReadData(h, buffer.data(), available, &read)) {
                const DWORD error = GetLastError();
                Fail(FailureOf(error, 0), "reading the answer from " + Authority(), error);
            }
            response.body.append(buffer, 0, read);
        }
        if (announced && response.body.size() < *announced) {
            throw TransportError(TransportFailure::kTruncated,
                                 "the answer from " + Authority() + " ended after " +
                                     std::to_string(response.body.size()) + " of " +
                                     std::to_string(*announced) + " bytes");
        }
    }

    TransportOptions options_;
    Internet session_;
    Internet connect_;
    Store extra_roots_;
    std::string ca_error_;
};

}  // namespace

std::unique_ptr<Transport> MakeTransport(const TransportOptions& options) {
    return std::make_unique<WinHttpTransport>(options);
}

}  // namespace Tesmora::Net
