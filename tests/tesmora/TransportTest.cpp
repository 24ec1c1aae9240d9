// What the platform transports share and no test server reaches: names that never resolve,
// decoding bodies compressed, and refusing a target that is no path before anything is sent (the
// clients never hand one over). The transports themselves are tested through the tool against the
// test servers (tests/redfish/tool_cases.py, tests/cim/tool_cases.py).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <zlib.h>
#include "transport/Transport.h"

namespace {

using namespace Tesmora::Net;

// Names under .invalid are refused unasked (RFC 6761); no other name is.
TEST(TransportNames, RefusesOnlyNamesUnderInvalid) {
    const std::vector<std::pair<std::string, bool>> rows = {
        {"invalid", true},     {"bmc.invalid", true},      {"BMC.Invalid.", true},
        {"notinvalid", false}, {"invalid.example", false}, {"localhost", false}};
    for (const auto& [host, never] : rows) {
        EXPECT_EQ(NeverResolves(host), never) << host;
    }
}

// Bodies a service compressed (gzip asked for, deflate not), decoded alike on both
// platforms; what cannot be decoded is no answer, and what decodes too large is refused.
TEST(TransportDecoding, DecodesWhatTheServiceCompressed) {
    const std::string json =
        R"({"@odata.id": "/redfish/v1/", "Name": ")" + std::string(5000, 'x') + R"("})";
    const auto compressed = [](const std::string& text, int window_bits) {
        z_stream stream{};
        deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY);
        std::string out(deflateBound(&stream, static_cast<uLong>(text.size())) + 32, '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        stream.avail_in = static_cast<uInt>(text.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, Z_FINISH);
        out.resize(stream.total_out);
        deflateEnd(&stream);
        return out;
    };
    const std::string gzip = compressed(json, 16 + MAX_WBITS);
    struct Case {
        const char* name;
        std::string encoding;  // "" for none
        std::string body;
        std::optional<TransportFailure> failure;
        std::size_t cap = 1 << 20;
    };
    const std::vector<Case> cases = {
        {"gzip", "gzip", gzip, std::nullopt},
        {"x-gzip, any letter case", "X-GZip", gzip, std::nullopt},
        {"deflate in zlib's wrapper", "deflate", compressed(json, MAX_WBITS), std::nullopt},
        {"deflate without a wrapper", "deflate", compressed(json, -MAX_WBITS), std::nullopt},
        {"none", "", json, std::nullopt},
        {"an encoding not read", "br", gzip, TransportFailure::kMalformed},
        {"gzip cut short", "gzip", gzip.substr(0, gzip.size() / 2), TransportFailure::kMalformed},
        {"larger than allowed once decoded", "gzip", gzip, TransportFailure::kTooLarge, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpResponse response{200, {}, c.body};
        if (!c.encoding.empty()) {
            response.headers.push_back({"Content-Encoding", c.encoding});
        }
        try {
            DecodeContent(response, c.cap);
            EXPECT_FALSE(c.failure) << "decoded";
            EXPECT_EQ(response.body, json);
        } catch (const TransportError& error) {
            EXPECT_EQ(std::optional<TransportFailure>(error.failure()), c.failure) << error.what();
        }
    }
}

// Glued to a base URL, each of the refused targets would name another host or smuggle a
// request; the transport refuses them before it connects (nothing listens on port 9).
TEST(TransportTargets, OnlyAPathLeaves) {
    const std::vector<std::pair<std::string, bool>> rows = {
        {"/redfish/v1/Systems", true},
        {"/redfish/v1/x-y_z.~!$&'()*+,;=:@", true},
        {"/", true},
        {"", false},
        {"redfish/v1", false},
        {"@127.0.0.1:9/redfish/v1/Systems", false},
        {"//127.0.0.1:9/redfish/v1/Systems", false},
        {"/redfish/v1/Systems HTTP/1.1\r\nHost: 127.0.0.1:9\r\n\r\nGET /x", false},
        {"/redfish/v1/A b", false},
        {"/redfish/v1/Systems#frag", false},
    };
    TransportOptions options;
    options.host = "127.0.0.1";
    options.port = 9;
    options.use_tls = false;
    for (const auto& [target, path] : rows) {
        SCOPED_TRACE(target);
        EXPECT_EQ(IsOriginForm(target), path);
        if (!path) {
            try {
                MakeTransport(options)->Send(HttpRequest{"GET", target, {}, ""});
                ADD_FAILURE() << "sent";
            } catch (const TransportError& error) {
                EXPECT_EQ(error.failure(), TransportFailure::kBadTarget) << error.what();
            }
        }
    }
}

// A status line, `headers` header lines and the blank line that ends the head.
std::vector<std::string> Head(std::size_t headers, std::size_t value_bytes = 1) {
    std::vector<std::string> lines = {"HTTP/1.1 200 OK\r\n"};
    for (std::size_t i = 0; i < headers; ++i) {
        lines.push_back("X-" + std::to_string(i) + ": " + std::string(value_bytes, 'v') + "\r\n");
    }
    lines.push_back("\r\n");
    return lines;
}

// The bound is on header lines: neither the status line nor the blank line after the headers
// counts against it, and an interim answer's headers are forgotten.
TEST(TransportHead, BoundsHeaderLinesAndBytes) {
    std::vector<std::string> interim = {"HTTP/1.1 100 Continue\r\n", "X-a: 1\r\n", "\r\n"};
    for (const std::string& line : Head(kMaxHeaderLines)) {
        interim.push_back(line);
    }
    const struct {
        const char* name;
        std::vector<std::string> lines;
        std::optional<std::size_t> taken;  // header lines; nullopt: a flood
    } rows[] = {
        {"exactly the bound", Head(kMaxHeaderLines), kMaxHeaderLines},
        {"one line more", Head(kMaxHeaderLines + 1), std::nullopt},
        {"the bound after an interim answer", interim, kMaxHeaderLines},
        {"more bytes than the bound", Head(16, kMaxHeaderBytes / 16), std::nullopt},
    };
    for (const auto& row : rows) {
        std::size_t bytes = 0;
        std::vector<HttpHeader> headers;
        bool taken = true;
        for (const std::string& line : row.lines) {
            taken = taken && TakeHeadLine(line, bytes, headers);
        }
        EXPECT_EQ(taken ? std::optional(headers.size()) : std::nullopt, row.taken) << row.name;
        if (taken) {
            EXPECT_EQ(headers.front().name + "=" + headers.front().value, "X-0=v") << row.name;
        }
    }
}

}  // namespace
