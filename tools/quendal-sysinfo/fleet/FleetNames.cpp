// Names of endpoints and of their documents, shard membership and the text of a shard: the
// parts of the endpoint file's contract (FleetFile.h) that come after reading it.
#include <algorithm>
#include <cctype>

#include "FleetFile.h"

namespace Quendal::Tool {

std::string HostKeyOf(std::string host) {
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return host;
}

std::string AuthorityOf(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string LabelOf(const FleetEndpoint& endpoint) {
    return AuthorityOf(endpoint.host, endpoint.port) +
           (endpoint.bay.empty() ? std::string() : " bay " + endpoint.bay);
}

std::string DocumentNameOf(const FleetEndpoint& endpoint, const std::string& extension) {
    std::string host = HostKeyOf(endpoint.host);
    for (char& c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') {
            c = '_';
        }
    }
    std::string name =
        std::string(KindName(endpoint.kind)) + "-" + host + "-" + std::to_string(endpoint.port);
    if (!endpoint.bay.empty()) {
        name += "-bay" + endpoint.bay;
    }
    return extension.empty() ? name : name + "." + extension;
}

std::string EndpointKeyOf(const FleetEndpoint& endpoint) {
    return HostKeyOf(endpoint.host) + ":" + std::to_string(endpoint.port);
}

std::size_t ShardOf(const FleetEndpoint& endpoint, std::size_t shards) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : EndpointKeyOf(endpoint)) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    return static_cast<std::size_t>(hash % shards);
}

std::string FleetFileText(const FleetFile& file, const std::vector<FleetEndpoint>& endpoints) {
    std::string text;
    if (!file.json) {
        text = file.csv_header + "\n";
        for (const FleetEndpoint& endpoint : endpoints) {
            text += endpoint.text + "\n";
        }
        return text;
    }
    text = "{\n    \"endpoints\": [";
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        text += std::string(i == 0 ? "" : ",") + "\n        " + endpoints[i].text;
    }
    return text + (endpoints.empty() ? "]\n}\n" : "\n    ]\n}\n");
}

}  // namespace Quendal::Tool
