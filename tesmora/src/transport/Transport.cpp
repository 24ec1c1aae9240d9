#include "transport/Transport.h"

#include <zlib.h>

#include <algorithm>

namespace Tesmora::Net {

namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return std::string_view();
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

bool TakeHeadLine(std::string_view line, std::size_t& head_bytes,
                  std::vector<HttpHeader>& headers) {
    head_bytes += line.size();
    if (head_bytes > kMaxHeaderBytes) {
        return false;
    }
    if (line.rfind("HTTP/", 0) == 0) {
        // A new status line (after an interim 1xx answer) starts the headers afresh.
        headers.clear();
        return true;
    }
    // Only header lines count against the bound of lines: not the status line, not the blank
    // line that ends the head.
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
        if (headers.size() >= kMaxHeaderLines) {
            return false;
        }
        headers.push_back(HttpHeader{std::string(Trim(line.substr(0, colon))),
                                     std::string(Trim(line.substr(colon + 1)))});
    }
    return true;
}

const std::string* HttpResponse::Header(std::string_view name) const {
    for (const HttpHeader& header : headers) {
        if (SameNameIgnoringCase(header.name, name)) {
            return &header.value;
        }
    }
    return nullptr;
}

bool IsOriginForm(std::string_view target) {
    if (target.empty() || target[0] != '/' || target.rfind("//", 0) == 0) {
        return false;
    }
    static constexpr std::string_view kMarks = "-._~!$&'()*+,;=:@/%?";
    for (const char c : target) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && kMarks.find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

std::chrono::milliseconds LimitFor(const HttpRequest& request, std::chrono::milliseconds own) {
    return request.timeout > std::chrono::milliseconds(0) ? std::min(own, request.timeout) : own;
}

bool NeverResolves(std::string_view host) {
    if (!host.empty() && host.back() == '.') {
        host.remove_suffix(1);
    }
    constexpr std::string_view kInvalid = "invalid";
    if (host.size() < kInvalid.size() ||
        !SameNameIgnoringCase(host.substr(host.size() - kInvalid.size()), kInvalid)) {
        return false;
    }
    return host.size() == kInvalid.size() || host[host.size() - kInvalid.size() - 1] == '.';
}

void RefuseNamesThatNeverResolve(const std::string& host) {
    if (NeverResolves(host)) {
        throw TransportError(TransportFailure::kNameNotResolved,
                             "names under .invalid never resolve; " + host + " is not looked up");
    }
}

namespace {

// Inflates body with zlib's window_bits; zlib's result (Z_STREAM_END when whole).
int Inflate(std::string& body, int window_bits, std::size_t max_body_bytes, std::string& decoded) {
    z_stream stream{};
    if (inflateInit2(&stream, window_bits) != Z_OK) {
        return Z_MEM_ERROR;
    }
    std::string chunk(std::size_t{64} << 10, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(body.data());
    stream.avail_in = static_cast<uInt>(body.size());
    int result = Z_OK;
    while (result == Z_OK && decoded.size() <= max_body_bytes) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
        stream.avail_out = static_cast<uInt>(chunk.size());
        result = inflate(&stream, Z_NO_FLUSH);
        decoded.append(chunk, 0, chunk.size() - stream.avail_out);
    }
    inflateEnd(&stream);
    return result;
}

}  // namespace

void DecodeContent(HttpResponse& response, std::size_t max_body_bytes) {
    const std::string* encoding = response.Header("Content-Encoding");
    if (encoding == nullptr || encoding->empty() || SameNameIgnoringCase(*encoding, "identity")) {
        return;
    }
    const bool gzip =
        SameNameIgnoringCase(*encoding, "gzip") || SameNameIgnoringCase(*encoding, "x-gzip");
    if (!gzip && !SameNameIgnoringCase(*encoding, "deflate")) {
        throw TransportError(TransportFailure::kMalformed,
                             "the answer is encoded as " + *encoding + ", which is not read");
    }
    // 16 + 15: a gzip wrapper; 32 + 15: zlib's or gzip's, whichever the data has; -15 none, as
    // some services send "deflate".
    std::string decoded;
    int result =
        Inflate(response.body, gzip ? 16 + MAX_WBITS : 32 + MAX_WBITS, max_body_bytes, decoded);
    if (!gzip && result == Z_DATA_ERROR && decoded.empty()) {
        result = Inflate(response.body, -MAX_WBITS, max_body_bytes, decoded);
    }
    if (decoded.size() > max_body_bytes) {
        throw TransportError(
            TransportFailure::kTooLarge,
            "the decoded answer exceeds " + std::to_string(max_body_bytes) + " bytes");
    }
    if (result != Z_STREAM_END) {
        throw TransportError(TransportFailure::kMalformed,
                             "the " + *encoding + " answer cannot be decoded");
    }
    response.body = std::move(decoded);
}

std::string Authority(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace Tesmora::Net
