// One HTTP(S) connection to one remote endpoint, as the network libraries use it.
//
// A Transport sends one request at a time and waits for the whole answer. It keeps its
// connection open between requests (keep-alive) and reconnects by itself when the peer closed
// it. Redirects are never followed: a 3xx answer is handed back like any other. A request goes
// to options.host and options.port only: the URL is built from parts (libcurl's URL API,
// WinHTTP's separate host and object name), and a target that is not a path in origin form is
// refused before anything is sent, so no text a service supplied can name another host. Every
// request asks for gzip (kAcceptEncoding); a body the service compressed, so asked or not, is
// handed back decoded, and the size cap holds for the decoded body. A name
// under ".invalid" is refused without a lookup. Each platform has its own implementation
// (libcurl on Linux, WinHTTP on Windows), chosen at build time; MakeTransport builds the
// running platform's.
//
// Threads: one Transport serves one thread at a time; distinct Transports are independent.
// Failures below HTTP (name, connection, TLS, time-out, size, framing) throw TransportError;
// an HTTP status of any value is an answer, not a failure. Nothing here writes a request's
// headers or body anywhere: they may carry credentials.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Tesmora::Net {

struct HttpHeader {
    std::string name;
    std::string value;
};

struct HttpRequest {
    std::string method;  // "GET", "POST", "DELETE", ...
    std::string target;  // origin form: the path and query, e.g. "/redfish/v1/Systems?$skip=2"
    std::vector<HttpHeader> headers;  // besides Host and Content-Length, which the transport sets
    std::string body;
    // This request's own limit, connect included, when shorter than the transport's; 0: none.
    std::chrono::milliseconds timeout{0};
};

struct HttpResponse {
    int status = 0;
    std::vector<HttpHeader> headers;  // as received, in order
    std::string body;

    // The value of the first header with this name (ASCII case-insensitive), or nullptr.
    const std::string* Header(std::string_view name) const;
};

enum class TransportFailure {
    kNameNotResolved,  // the host name has no address
    kConnectFailed,    // refused, unreachable, no route
    kTlsFailed,        // no TLS session could be set up (not a TLS peer, no common protocol)
    kCertificate,      // the peer's certificate is not trusted or does not name the host
    kTimedOut,         // the connect or the whole request took longer than allowed
    kConnectionLost,   // the connection broke before an answer began (reset, closed)
    kTruncated,        // the answer ended before the length it announced
    kTooLarge,         // the body exceeds the size cap
    kMalformed,        // the peer does not speak HTTP
    kHeaderFlood,      // more answer headers than kMaxHeaderLines or kMaxHeaderBytes
    kBadTarget,        // the request's target is not a path in origin form: nothing was sent
    kKeyNotPinned,     // the peer's key is none of the pins (the detail is its pin): nothing sent
};

// What an answer's head may hold; real services send a few dozen lines, a few kilobytes.
constexpr std::size_t kMaxHeaderLines = 256;
constexpr std::size_t kMaxHeaderBytes = std::size_t{64} << 10;

// Takes one line of an answer's head as it arrives (the status line, a header line, the blank
// line that ends the head) into headers; a status line (after an interim 1xx answer) starts
// them afresh. head_bytes adds up the lines taken. False when the head grows beyond
// kMaxHeaderBytes or kMaxHeaderLines header lines: the answer is a flood (kHeaderFlood).
bool TakeHeadLine(std::string_view line, std::size_t& head_bytes, std::vector<HttpHeader>& headers);

class TransportError : public std::runtime_error {
public:
    TransportError(TransportFailure failure, const std::string& detail)
        : std::runtime_error(detail), failure_(failure) {}
    TransportFailure failure() const { return failure_; }

private:
    TransportFailure failure_;
};

struct TransportOptions {
    std::string host;  // a name, an IPv4 address or an IPv6 address without brackets
    std::uint16_t port = 443;
    bool use_tls = true;
    bool verify_peer = true;  // false: accept any certificate and any name (explicit opt-out)
    std::string ca_file;      // PEM certificates trusted besides the system's store
    // Keys accepted whoever signed the certificate and whatever names it holds (canonical pins,
    // PeerCertificate.h); the peer's key must be one of them. With ca_file as well, a
    // certificate its CAs vouch for is accepted too: either is enough.
    std::vector<std::string> pins;
    std::chrono::milliseconds connect_timeout{30000};
    std::chrono::milliseconds request_timeout{30000};  // one request, first byte to last
    std::size_t max_body_bytes = std::size_t{16} << 20;
};

class Transport {
public:
    virtual ~Transport() = default;

    // Sends the request and returns the whole answer. Throws TransportError.
    virtual HttpResponse Send(const HttpRequest& request) = 0;
};

// The running platform's transport to options.host; nothing is connected before the first Send.
std::unique_ptr<Transport> MakeTransport(const TransportOptions& options);

// Whether host is a name under the special-use domain "invalid" (RFC 6761), which no resolver
// may answer positively: the transports refuse it (kNameNotResolved) without asking one, so
// that no query about it leaves the machine.
bool NeverResolves(std::string_view host);
void RefuseNamesThatNeverResolve(const std::string& host);

// The header every request carries: controllers' JSON shrinks to a fifth or less.
constexpr const char* kAcceptEncoding = "Accept-Encoding: gzip";

// Decodes a body the service sent with a Content-Encoding (gzip, deflate, asked for or not);
// the decoded body may not exceed max_body_bytes (kTooLarge). An encoding that is
// not understood, or data that does not decode, is kMalformed. Without a Content-Encoding (or
// "identity") the response is left as it is.
void DecodeContent(HttpResponse& response, std::size_t max_body_bytes);

// "host:port" as a URL authority: IPv6 addresses in brackets.
std::string Authority(const std::string& host, std::uint16_t port);

// Whether target is a request target in origin form: "/" and then URI characters only (no
// second "/" at the start, no blank, no control character), so that it can only ever be read as
// a path and query on the transport's own host.
bool IsOriginForm(std::string_view target);

// The limit for one request: the transport's own, or the request's where that is shorter.
std::chrono::milliseconds LimitFor(const HttpRequest& request, std::chrono::milliseconds own);

}  // namespace Tesmora::Net
