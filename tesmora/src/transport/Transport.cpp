#include "transport/Transport.h"

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

}  // namespace

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

std::string Authority(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace Tesmora::Net
