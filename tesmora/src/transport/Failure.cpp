#include "transport/Failure.h"

#include <algorithm>
#include <thread>

namespace Tesmora::Net {

bool Retryable(TransportFailure failure) {
    return failure == TransportFailure::kConnectionLost ||
           failure == TransportFailure::kTruncated || failure == TransportFailure::kTlsFailed;
}

Error ErrorOf(const TransportError& error, const std::string& endpoint, const std::string& what,
              const std::string& service) {
    const std::string detail = error.what();
    switch (error.failure()) {
        case TransportFailure::kNameNotResolved:
            return Error(Cause::kNameNotResolved, "the host name does not resolve (" + detail + ")",
                         "check --host");
        case TransportFailure::kConnectFailed:
            return Error(Cause::kUnreachable, "cannot connect (" + detail + ")",
                         "check --host and the port, and that the " + service + " runs");
        case TransportFailure::kCertificate:
            return Error(Cause::kCertificate,
                         "the certificate is not trusted or names another host (" + detail + ")",
                         "trust its CA with --ca-file FILE, or pin its key with --pin (quendal-"
                         "sysinfo pin shows it), or skip verification with --insecure");
        case TransportFailure::kKeyNotPinned:
            return Error(Cause::kCertificate,
                         "the certificate's key is not the pinned one (it is " + detail + ")",
                         "a new key, or someone in the middle: check it with quendal-sysinfo pin "
                         "before pinning it");
        case TransportFailure::kTlsFailed:
            return Error(Cause::kTls, "no TLS session could be set up (" + detail + ")",
                         "check that the port serves HTTPS");
        case TransportFailure::kTimedOut:
            return Error(Cause::kTimeout,
                         "no whole answer to " + what + " in time (" + detail + ")",
                         "raise --timeout for a slow " + service);
        case TransportFailure::kConnectionLost:
            return Error(Cause::kUnreachable,
                         "the connection broke while asking for " + what + " (" + detail + ")");
        case TransportFailure::kTruncated:
            return Error(Cause::kBadAnswer, "the answer to " + what + " was cut short");
        case TransportFailure::kTooLarge:
            return Error(Cause::kBadAnswer, "the answer to " + what + " is larger than allowed");
        case TransportFailure::kHeaderFlood:
            return Error(Cause::kBadAnswer, "the " + service +
                                                " sent more header lines than allowed with the "
                                                "answer to " +
                                                what);
        case TransportFailure::kBadTarget:
            return Error(Cause::kBadAnswer, "the " + service + " sent a link to " + Shown(what) +
                                                ", which is not a path on this endpoint and is not "
                                                "followed");
        case TransportFailure::kMalformed:
            return Error(Cause::kWrongService,
                         "what answers at " + endpoint + " does not speak HTTP (" + detail + ")");
    }
    return Error(Cause::kBadAnswer, detail);
}

std::string Shown(const std::string& text) {
    constexpr std::size_t kLongest = 120;
    std::string shown = "\"";
    for (std::size_t i = 0; i < text.size() && i < kLongest; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
            static const char* const kHex = "0123456789abcdef";
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 15];
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown + (text.size() > kLongest ? "...\"" : "\"");
}

std::optional<Error> Bounds::Exceeded(const std::string& what,
                                      std::chrono::milliseconds wait) const {
    if (cancelled && cancelled()) {
        return Error(Cause::kTimeout, "cancelled before " + what + " was asked for");
    }
    if (deadline && Now() + wait >= *deadline) {
        return EndpointTimeOut(what);
    }
    return std::nullopt;
}

std::chrono::milliseconds Bounds::RequestLimit(std::chrono::milliseconds own) const {
    if (!deadline) {
        return own;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Now());
    return std::clamp(left, std::chrono::milliseconds(1),
                      std::max(own, std::chrono::milliseconds(1)));
}

Error EndpointTimeOut(const std::string& what) {
    return Error(Cause::kTimeout,
                 "the time allowed for this endpoint ran out before " + what + " was answered",
                 "raise --endpoint-timeout for a slow service");
}

std::function<void(std::chrono::milliseconds)> CancellableSleep(std::function<bool()> cancelled) {
    return [cancelled = std::move(cancelled)](std::chrono::milliseconds wait) {
        constexpr std::chrono::milliseconds kSlice{50};
        const auto until = std::chrono::steady_clock::now() + wait;
        for (auto now = std::chrono::steady_clock::now(); now < until;
             now = std::chrono::steady_clock::now()) {
            if (cancelled && cancelled()) {
                return;
            }
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(kSlice, until - now));
        }
    };
}

bool EndsClient(Cause cause) {
    switch (cause) {
        case Cause::kMissingResource:
        case Cause::kForbidden:
        case Cause::kBadAnswer:
        case Cause::kPagingLoop:
        case Cause::kServiceError:
            return false;
        default:
            return true;
    }
}

}  // namespace Tesmora::Net
