// Where a remote endpoint is, as a user writes it: a host name, an IPv4 address or an IPv6
// address in brackets, each with an optional ":PORT".
//
// Pure functions; nothing throws but std::bad_alloc.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tesmora/Export.h"

namespace Tesmora {

struct HostAddress {
    std::string host;  // IPv6 addresses without brackets
    std::optional<std::uint16_t> port;
};

// Reads "name", "192.0.2.1", "[2001:db8::1]", each optionally followed by ":PORT" (1 to 65535),
// and a bare IPv6 address without a port. Anything else gives nullopt and, when why is given,
// says what is wrong.
TESMORA_API std::optional<HostAddress> ParseHostAddress(const std::string& text,
                                                        std::string* why = nullptr);

// Whether host is a host name, an IPv4 address or an IPv6 address without brackets; nothing
// that could change the meaning of a URL (a slash, an '@', blanks) passes.
TESMORA_API bool IsHostText(const std::string& host, std::string* why = nullptr);

}  // namespace Tesmora
