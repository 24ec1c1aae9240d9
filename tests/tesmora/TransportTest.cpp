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
        {"identity", "identity", json, std::nullopt},
        {"none", "", json, std::nullopt},
        {"an encoding not read", "br", gzip, TransportFailure::kMalformed},
        {"gzip cut short", "gzip", gzip.substr(0, gzip.size() / 2), TransportFailure::kMalformed},
        {"not gzip at all", "gzip", json, TransportFailure::kMalformed},
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
        {"/redfish/v1/Chassis?$skip=2&x=a%20b", true},
        {"/redfish/v1/x-y_z.~!$&'()*+,;=:@", true},
        {"/", true},
        {"", false},
        {"redfish/v1", false},
        {"@127.0.0.1:9/redfish/v1/Systems", false},
        {"//127.0.0.1:9/redfish/v1/Systems", false},
        {"https://127.0.0.1:9/redfish/v1/Systems", false},
        {"/redfish/v1/Systems HTTP/1.1\r\nHost: 127.0.0.1:9\r\n\r\nGET /x", false},
        {"/redfish/v1/A b", false},
        {"/redfish/v1/A\"b", false},
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
    EXPECT_EQ(Authority("::1", 8443), "[::1]:8443");
    EXPECT_EQ(Authority("127.0.0.1", 443), "127.0.0.1:443");
}

}  // namespace
