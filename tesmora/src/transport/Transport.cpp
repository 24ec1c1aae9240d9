#include "transport/Transport.h"

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

std::string Authority(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace Tesmora::Net
