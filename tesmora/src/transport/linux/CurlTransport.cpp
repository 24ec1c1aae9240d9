// The transport on Linux: libcurl, one easy handle per transport so that its connection is kept
// and reused from one request to the next. Each request's URL is put together by libcurl's URL
// API from the scheme, the transport's host and port, and the target's path and query: no text
// of a request is ever read as a URL, so none can bring user information or a host of its own.
//
// With pins the peer's key is checked by libcurl's pinned public key, and chain and names are
// not; with a CA file as well, a key that is not pinned gets a second handshake, verified as
// without pins (either is enough). Nothing of a request leaves before the check passed.
//
// The trusted certificates (the CA file, or libcurl's default bundle) are parsed once per run
// and shared by every transport: libcurl would parse them for each one, which with the system's
// bundle costs a fleet endpoint several times the CPU of its whole scan. libcurl's own loading
// stays where the TLS library is not OpenSSL or the file cannot be read, so that its errors are
// told as before.
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "transport/Transport.h"
#include "transport/linux/CurlCertificate.h"

namespace Tesmora::Net {

namespace {

void InitialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The defaults libcurl was built with: the bundle file and the hashed folder ("" where none).
struct DefaultTrust {
    std::string file;
    std::string folder;
};

DefaultTrust DefaultsOf(CURL* handle) {
    DefaultTrust trust;
    char* file = nullptr;
    char* folder = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CAINFO, &file) == CURLE_OK && file != nullptr) {
        trust.file = file;
    }
    if (curl_easy_getinfo(handle, CURLINFO_CAPATH, &folder) == CURLE_OK && folder != nullptr) {
        trust.folder = folder;
    }
    return trust;
}

// The store of what verifies a peer given ca_file, as libcurl would make it (the file in place
// of the default bundle, the default folder beside it), parsed at the first call for that file
// and kept for the run; nullptr where it cannot be read. OpenSSL's stores are safe to share
// between threads.
X509_STORE* TrustedStore(const std::string& ca_file, const DefaultTrust& defaults) {
    static std::mutex mutex;
    // Never freed, the map neither: transports may be in use on other threads up to the exit.
    static auto* const stores = new std::map<std::string, X509_STORE*>();
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = stores->find(ca_file);
    if (found != stores->end()) {
        return found->second;
    }
    X509_STORE* store = X509_STORE_new();
    const std::string& file = ca_file.empty() ? defaults.file : ca_file;
    if (store != nullptr &&
        (file.empty() || X509_STORE_load_locations(store, file.c_str(), nullptr) != 1 ||
         (!defaults.folder.empty() &&
          X509_STORE_load_locations(store, nullptr, defaults.folder.c_str()) != 1))) {
        X509_STORE_free(store);
        store = nullptr;
    }
    return stores->emplace(ca_file, store).first->second;
}

// libcurl's hook into each new TLS context: the shared store in place of a parsed one.
CURLcode UseTrustedStore(CURL*, void* context, void* store) {
    X509_STORE_up_ref(static_cast<X509_STORE*>(store));
    SSL_CTX_set_cert_store(static_cast<SSL_CTX*>(context), static_cast<X509_STORE*>(store));
    return CURLE_OK;
}

// What one transfer collects; the callbacks see it through their user pointer.
struct Transfer {
    HttpResponse response;
    std::size_t max_body_bytes = 0;
    bool too_large = false;
    std::size_t header_bytes = 0;
    bool header_flood = false;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer.response.body.size() + bytes > transfer.max_body_bytes) {
        transfer.too_large = true;
        return 0;  // aborts the transfer
    }
    transfer.response.body.append(data, bytes);
    return bytes;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (!TakeHeadLine(std::string_view(data, bytes), transfer.header_bytes,
                      transfer.response.headers)) {
        transfer.header_flood = true;
        return 0;  // aborts the transfer
    }
    return bytes;
}

TransportFailure FailureOf(CURLcode code, const Transfer& transfer) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return TransportFailure::kNameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return TransportFailure::kConnectFailed;
        case CURLE_OPERATION_TIMEDOUT:
            return TransportFailure::kTimedOut;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            return TransportFailure::kCertificate;
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return TransportFailure::kKeyNotPinned;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CERTPROBLEM:
            return TransportFailure::kTlsFailed;
        case CURLE_PARTIAL_FILE:
            return TransportFailure::kTruncated;
        case CURLE_FILESIZE_EXCEEDED:
            return TransportFailure::kTooLarge;
        case CURLE_WRITE_ERROR:
            if (transfer.header_flood) {
                return TransportFailure::kHeaderFlood;
            }
            return transfer.too_large ? TransportFailure::kTooLarge
                                      : TransportFailure::kConnectionLost;
        case CURLE_URL_MALFORMAT:
            return TransportFailure::kBadTarget;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_BAD_CONTENT_ENCODING:
            return TransportFailure::kMalformed;
        default:
            return TransportFailure::kConnectionLost;
    }
}

class CurlTransport : public Transport {
public:
    explicit CurlTransport(const TransportOptions& options) : options_(options) {
        InitialiseOnce();
        handle_ = curl_easy_init();
        url_ = curl_url();
        if (handle_ == nullptr || url_ == nullptr) {
            curl_url_cleanup(url_);
            curl_easy_cleanup(handle_);
            throw TransportError(TransportFailure::kConnectFailed, "cannot start libcurl");
        }
        // libcurl's URL API wants an IPv6 address in brackets, as a URL writes it.
        const bool ipv6 = options.host.find(':') != std::string::npos;
        const std::string host = ipv6 ? "[" + options.host + "]" : options.host;
        const std::string port = std::to_string(options.port);
        if (curl_url_set(url_, CURLUPART_SCHEME, options.use_tls ? "https" : "http", 0) !=
                CURLUE_OK ||
            curl_url_set(url_, CURLUPART_HOST, host.c_str(), 0) != CURLUE_OK ||
            curl_url_set(url_, CURLUPART_PORT, port.c_str(), 0) != CURLUE_OK) {
            curl_url_cleanup(url_);
            curl_easy_cleanup(handle_);
            throw TransportError(TransportFailure::kNameNotResolved,
                                 "cannot use the host name " + options.host);
        }
        if (options.use_tls) {
            trusted_ = TrustedStore(options.ca_file, DefaultsOf(handle_));
            // Where libcurl's TLS library is not OpenSSL, it loads the files itself.
            if (trusted_ != nullptr &&
                curl_easy_setopt(handle_, CURLOPT_SSL_CTX_FUNCTION, UseTrustedStore) != CURLE_OK) {
                trusted_ = nullptr;
            }
        }
        for (const std::string& pin : options.pins) {
            // libcurl's form: "sha256//BASE64;sha256//BASE64".
            pinned_keys_ +=
                (pinned_keys_.empty() ? "sha256//" : ";sha256//") + pin.substr(pin.find(':') + 1);
        }
    }

    ~CurlTransport() override {
        curl_easy_cleanup(handle_);
        curl_url_cleanup(url_);
    }
    CurlTransport(const CurlTransport&) = delete;
    CurlTransport& operator=(const CurlTransport&) = delete;

    HttpResponse Send(const HttpRequest& request) override {
        RefuseNamesThatNeverResolve(options_.host);
        SetTarget(request.target);
        Transfer transfer;
        transfer.max_body_bytes = options_.max_body_bytes;

        curl_slist* headers = nullptr;
        // No "Expect: 100-continue" round trip. gzip is asked for, but decoded below rather than
        // by libcurl, as on Windows, so that the size cap holds for the decoded body too.
        headers = curl_slist_append(headers, "Expect:");
        headers = curl_slist_append(headers, kAcceptEncoding);
        for (const HttpHeader& header : request.headers) {
            headers = curl_slist_append(headers, (header.name + ": " + header.value).c_str());
        }

        char error[CURL_ERROR_SIZE] = {};
        Configure(request, headers, transfer, error);
        const CURLcode code = Perform(error);
        curl_slist_free_all(headers);
        if (code != CURLE_OK) {
            throw TransportError(FailureOf(code, transfer),
                                 error[0] != '\0' ? error : curl_easy_strerror(code));
        }
        long status = 0;
        curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
        transfer.response.status = static_cast<int>(status);
        DecodeContent(transfer.response, options_.max_body_bytes);
        return std::move(transfer.response);
    }

    // Connects and completes the TLS handshake, and no more (CONNECT_ONLY): nothing is sent.
    // libcurl keeps the certificates it saw for FirstCertificate.
    CURLcode Handshake(char* error) {
        SetTarget("/");
        CURL* const h = handle_;
        curl_easy_setopt(h, CURLOPT_CURLU, url_);
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
        curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(options_.connect_timeout.count()));
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS,
                         static_cast<long>(options_.connect_timeout.count()));
        ConfigureTrust(h);
        curl_easy_setopt(h, CURLOPT_CERTINFO, 1L);
        curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
        return curl_easy_perform(h);
    }

    CURL* Handle() const { return handle_; }

private:
    // The transfer. A peer whose key is none of the pins fails it, with error naming the key it
    // has, unless the CA file vouches for its certificate instead; the CA file then decides for
    // the rest of this transport's connections.
    CURLcode Perform(char* error) {
        CURLcode code = curl_easy_perform(handle_);
        if (code != CURLE_SSL_PINNEDPUBKEYNOTMATCH) {
            return code;
        }
        const std::optional<PeerCertificate> peer = FirstCertificate(handle_);
        const std::string presented = peer ? peer->pin : "a key that cannot be read";
        if (!options_.ca_file.empty()) {
            by_ca_ = true;
            ConfigureTrust(handle_);
            code = curl_easy_perform(handle_);
            if (code == CURLE_OK || FailureOf(code, Transfer()) != TransportFailure::kCertificate) {
                return code;
            }
            by_ca_ = false;
            ConfigureTrust(handle_);
        }
        std::snprintf(error, CURL_ERROR_SIZE, "%s", presented.c_str());
        return CURLE_SSL_PINNEDPUBKEYNOTMATCH;
    }

    // Who the peer must be: with pins (until the CA file took over), one of their keys, whoever
    // signed the certificate and whatever it names; otherwise, unless verification is off, a
    // certificate a trusted CA signed for the host.
    void ConfigureTrust(CURL* h) {
        const bool pinned = !pinned_keys_.empty() && !by_ca_;
        const bool verify = options_.verify_peer && !pinned;
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
        curl_easy_setopt(h, CURLOPT_PINNEDPUBLICKEY, pinned ? pinned_keys_.c_str() : nullptr);
        // Kept so that a key that is not pinned can be named.
        curl_easy_setopt(h, CURLOPT_CERTINFO, pinned ? 1L : 0L);
        if (trusted_ != nullptr) {
            curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, trusted_);
            curl_easy_setopt(h, CURLOPT_CAINFO, nullptr);
            curl_easy_setopt(h, CURLOPT_CAPATH, nullptr);
        } else if (!options_.ca_file.empty()) {
            curl_easy_setopt(h, CURLOPT_CAINFO, options_.ca_file.c_str());
        }
    }

    // The path and query of the URL handle; the scheme, host and port stay the transport's.
    void SetTarget(const std::string& target) {
        if (!IsOriginForm(target)) {
            throw TransportError(TransportFailure::kBadTarget, "the request target is not a path");
        }
        const std::size_t mark = target.find('?');
        const std::string path = target.substr(0, mark);
        const std::string query =
            mark == std::string::npos ? std::string() : target.substr(mark + 1);
        if (curl_url_set(url_, CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK ||
            curl_url_set(url_, CURLUPART_QUERY, query.empty() ? nullptr : query.c_str(), 0) !=
                CURLUE_OK) {
            throw TransportError(TransportFailure::kBadTarget, "the request target is not a path");
        }
    }

    void Configure(const HttpRequest& request, curl_slist* headers, Transfer& transfer,
                   char* error) {
        CURL* const h = handle_;
        curl_easy_setopt(h, CURLOPT_CURLU, url_);
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, options_.use_tls ? "https" : "http");
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long{CURL_HTTP_VERSION_1_1});
        // Management networks are reached directly, whatever proxy the environment names.
        curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(h, CURLOPT_HTTP_CONTENT_DECODING, 0L);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(LimitFor(request, options_.connect_timeout).count()));
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS,
                         static_cast<long>(LimitFor(request, options_.request_timeout).count()));
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(options_.max_body_bytes));
        ConfigureTrust(h);
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);

        // Every request states its method in full, so nothing of the previous one carries over.
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, nullptr);
        if (request.body.empty() && request.method != "POST") {
            curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
            if (request.method != "GET") {
                curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
            }
        } else {
            curl_easy_setopt(h, CURLOPT_POST, 1L);
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(request.body.size()));
            if (request.method != "POST") {
                curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
            }
        }
    }

    TransportOptions options_;
    CURL* handle_ = nullptr;
    CURLU* url_ = nullptr;
    std::string pinned_keys_;        // the pins in libcurl's form; empty without pins
    bool by_ca_ = false;             // the CA file vouched for a key that was not pinned
    X509_STORE* trusted_ = nullptr;  // shared for the run (TrustedStore), or libcurl loads
};

}  // namespace

std::unique_ptr<Transport> MakeTransport(const TransportOptions& options) {
    return std::make_unique<CurlTransport>(options);
}

PeerCertificate ReadPeerCertificate(const TransportOptions& options) {
    // Once without verification, to read the certificate whatever it is; once more with it, to
    // learn what verification makes of it. One connection at a time: a controller may serve no
    // more.
    std::optional<PeerCertificate> peer;
    {
        TransportOptions reading = options;
        reading.verify_peer = false;
        reading.pins.clear();
        CurlTransport reader(reading);
        char error[CURL_ERROR_SIZE] = {};
        const CURLcode code = reader.Handshake(error);
        if (code != CURLE_OK) {
            throw TransportError(FailureOf(code, Transfer()),
                                 error[0] != '\0' ? error : curl_easy_strerror(code));
        }
        peer = FirstCertificate(reader.Handle());
        if (!peer) {
            throw TransportError(TransportFailure::kTlsFailed,
                                 "the peer presented no certificate that can be read");
        }
    }
    TransportOptions verifying = options;
    verifying.verify_peer = true;
    verifying.pins.clear();
    CurlTransport verifier(verifying);
    char why[CURL_ERROR_SIZE] = {};
    const CURLcode verdict = verifier.Handshake(why);
    if (verdict != CURLE_OK) {
        peer->distrust = why[0] != '\0' ? why : curl_easy_strerror(verdict);
    }
    return *peer;
}

}  // namespace Tesmora::Net
