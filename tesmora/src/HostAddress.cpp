#include "tesmora/HostAddress.h"

#include <algorithm>
#include <cctype>

namespace Tesmora {

namespace {

bool Fails(std::string* why, const std::string& message) {
    if (why != nullptr) {
        *why = message;
    }
    return false;
}

int Digit(int c) {
    return std::isdigit(c);
}
int HexDigit(int c) {
    return std::isxdigit(c);
}
int LetterOrDigit(int c) {
    return std::isalnum(c);
}

bool AllOf(const std::string& text, const char* extra, int (*kind)(int)) {
    return std::all_of(text.begin(), text.end(), [&](unsigned char c) {
        return kind(c) != 0 || std::string(extra).find(static_cast<char>(c)) != std::string::npos;
    });
}

bool IsIPv4(const std::string& text) {
    int parts = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string part = text.substr(start, dot - start);
        if (part.empty() || part.size() > 3 || !AllOf(part, "", Digit) || std::stoi(part) > 255) {
            return false;
        }
        ++parts;
        if (dot == std::string::npos) {
            return parts == 4;
        }
        start = dot + 1;
    }
}

// Groups of one side of "::"; -1 when a group is malformed. A dotted IPv4 tail counts two.
int Groups(const std::string& side, bool last) {
    if (side.empty()) {
        return 0;
    }
    int groups = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = side.find(':', start);
        const std::string group = side.substr(start, colon - start);
        const bool tail = last && colon == std::string::npos;
        if (tail && group.find('.') != std::string::npos) {
            if (!IsIPv4(group)) {
                return -1;
            }
            groups += 2;
        } else if (group.empty() || group.size() > 4 || !AllOf(group, "", HexDigit)) {
            return -1;
        } else {
            ++groups;
        }
        if (colon == std::string::npos) {
            return groups;
        }
        start = colon + 1;
    }
}

bool IsIPv6(const std::string& text) {
    if (text.size() > 45) {
        return false;
    }
    const std::size_t gap = text.find("::");
    if (gap == std::string::npos) {
        return Groups(text, true) == 8;
    }
    if (text.find("::", gap + 1) != std::string::npos) {
        return false;
    }
    const int before = Groups(text.substr(0, gap), false);
    const int after = Groups(text.substr(gap + 2), true);
    return before >= 0 && after >= 0 && before + after < 8;
}

bool IsHostName(const std::string& text) {
    if (text.empty() || text.size() > 253) {
        return false;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string label = text.substr(start, dot - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-' ||
            !AllOf(label, "-_", LetterOrDigit)) {
            // A trailing dot (a fully qualified name) leaves one empty label at the end.
            return label.empty() && dot == std::string::npos && start == text.size() && start > 0;
        }
        if (dot == std::string::npos) {
            return true;
        }
        start = dot + 1;
    }
}

}  // namespace

bool IsHostText(const std::string& host, std::string* why) {
    if (host.empty()) {
        return Fails(why, "no host given");
    }
    if (host.find(':') != std::string::npos) {
        return IsIPv6(host) || Fails(why, "'" + host + "' is not an IPv6 address");
    }
    if (AllOf(host, ".", Digit)) {
        return IsIPv4(host) || Fails(why, "'" + host + "' is not an IPv4 address");
    }
    return IsHostName(host) || Fails(why, "'" + host + "' is not a host name or address");
}

std::optional<HostAddress> ParseHostAddress(const std::string& text, std::string* why) {
    HostAddress address;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos) {
            Fails(why, "'" + text + "' opens a bracket it does not close");
            return std::nullopt;
        }
        address.host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') {
                Fails(why, "'" + text + "' has text after the bracket that is not ':PORT'");
                return std::nullopt;
            }
            port = text.substr(close + 2);
            if (port.empty()) {
                Fails(why, "'" + text + "' ends in ':' without a port");
                return std::nullopt;
            }
        }
        if (address.host.find(':') == std::string::npos) {
            Fails(why, "'" + text + "': only IPv6 addresses go in brackets");
            return std::nullopt;
        }
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        const std::size_t colon = text.find(':');
        address.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) {
            Fails(why, "'" + text + "' ends in ':' without a port");
            return std::nullopt;
        }
    } else {
        address.host = text;
    }
    if (!IsHostText(address.host, why)) {
        return std::nullopt;
    }
    if (!port.empty()) {
        if (port.size() > 5 || !AllOf(port, "", Digit) || std::stoi(port) < 1 ||
            std::stoi(port) > 65535) {
            Fails(why, "port '" + port + "' is not a number from 1 to 65535");
            return std::nullopt;
        }
        address.port = static_cast<std::uint16_t>(std::stoi(port));
    }
    return address;
}

}  // namespace Tesmora
