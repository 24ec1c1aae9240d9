// Peak memory of the Redfish client reading a firmware inventory of six large members, each of
// about MIB mebibytes (14 by default, under the 16 MiB answer cap), through a scripted transport:
// what a hostile or careless service costs one endpoint's scan.
//
// usage: redfish_memory_bench SHAPE [MIB]
//   nested  each member holds an Oem section nested 60 levels deep, every level a wide array of
//           small objects: deep, but within the nesting bound, and nothing the mapping reads
//   deep    each member's Oem section nests as deep as its bytes allow (2.4 million levels)
//   kept    each member holds what the mapping does read, made huge (RelatedItem links)
// Prints the members read, the warnings and the peak resident size of the process in MiB
// (getrusage); bench/run.py reads the last.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "redfish/Client.h"
#include "redfish/Mapping.h"

namespace {

namespace Net = Tesmora::Net;
namespace Redfish = Tesmora::Redfish;

constexpr const char* kInventory = "/redfish/v1/UpdateService/FirmwareInventory";
constexpr int kMembers = 6;

std::string Member(const std::string& shape, int number, std::size_t bytes) {
    const std::string id = std::string(kInventory) + "/FW" + std::to_string(number);
    std::string text = "{\"@odata.id\": \"" + id + "\", \"Id\": \"FW" + std::to_string(number) +
                       "\", \"Name\": \"Firmware " + std::to_string(number) +
                       "\", \"Version\": \"1.0." + std::to_string(number) + "\", ";
    if (shape == "kept") {
        text += "\"RelatedItem\": [";
        while (text.size() + 64 < bytes) {
            text += "{\"@odata.id\": \"/redfish/v1/Chassis/1\"},";
        }
        return text + "{}]}";
    }
    if (shape == "deep") {
        // "{"a":" and "}": six bytes a level, as many levels as the bytes allow.
        const std::size_t levels = (bytes - text.size()) / 6;
        text += "\"Oem\": ";
        for (std::size_t i = 0; i < levels; ++i) {
            text += "{\"a\":";
        }
        text += "0";
        text.append(levels, '}');
        return text + "}";
    }
    // nested: 60 levels, each an object with a wide array of small objects and the next level.
    const int levels = 60;
    const std::size_t per_level = bytes / levels;
    text += "\"Oem\": ";
    for (int level = 0; level < levels; ++level) {
        text += "{\"Items\": [";
        for (std::size_t start = text.size(); text.size() - start < per_level;) {
            text += "{\"Key\": \"k\", \"Value\": 1},";
        }
        text += "{}], \"Next\": ";
    }
    text += "null";
    for (int level = 0; level < levels; ++level) {
        text += "}";
    }
    return text + "}";
}

class ScriptedService : public Net::Transport {
public:
    ScriptedService(std::string shape, std::size_t bytes)
        : shape_(std::move(shape)), bytes_(bytes) {}

    Net::HttpResponse Send(const Net::HttpRequest& request) override {
        Net::HttpResponse response;
        response.status = 200;
        response.headers = {{"Content-Type", "application/json"}};
        if (request.method == "POST") {
            response.status = 201;
            response.headers.push_back({"X-Auth-Token", "bench-token"});
            response.headers.push_back({"Location", "/redfish/v1/SessionService/Sessions/1"});
            response.body = "{}";
        } else if (request.method == "DELETE") {
            response.status = 204;
        } else if (request.target == "/redfish/v1/") {
            response.body =
                "{\"RedfishVersion\": \"1.15.0\", \"UpdateService\": {\"@odata.id\": "
                "\"/redfish/v1/UpdateService\"}, \"Links\": {\"Sessions\": {\"@odata.id\": "
                "\"/redfish/v1/SessionService/Sessions\"}}}";
        } else if (request.target == kInventory) {
            response.body = "{\"Members\": [";
            for (int number = 0; number < kMembers; ++number) {
                response.body += std::string(number == 0 ? "" : ",") + "{\"@odata.id\": \"" +
                                 kInventory + "/FW" + std::to_string(number) + "\"}";
            }
            response.body += "]}";
        } else {
            const int number = request.target.back() - '0';
            response.body = Member(shape_, number, bytes_);
        }
        return response;
    }

private:
    std::string shape_;
    std::size_t bytes_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: redfish_memory_bench nested|deep|kept [MIB]\n");
        return 2;
    }
    const std::string shape = argv[1];
    const std::size_t mib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 14;
    int warnings = 0;
    std::size_t read = 0;
    std::size_t versions = 0;
    {
        Redfish::Policy policy;
        policy.sleep = [](std::chrono::milliseconds) {};
        Redfish::Client client(
            "bench.example.test:443", {"bench", "bench-password"},
            std::make_unique<ScriptedService>(shape, mib << 20), policy,
            [&warnings](Tesmora::Severity, Tesmora::Cause, const std::string&) { ++warnings; });
        try {
            for (const Redfish::Json* member : client.Members(kInventory)) {
                ++read;
                versions += Redfish::SoftwareIdentityFrom(*member).version_string.size();
            }
        } catch (const Redfish::Error& error) {
            std::printf("failed: %s\n", error.what());
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s, %zu MiB members: %zu of %d read (%zu bytes of versions), %d warnings\n",
                shape.c_str(), mib, read, kMembers, versions, warnings);
    std::printf("peak MiB %.1f\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
