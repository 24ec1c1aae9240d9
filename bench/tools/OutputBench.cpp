// The tool's XML and JSON rendering beside Boost's property-tree writer alone on the same tree.
#include <benchmark/benchmark.h>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "Output.h"
#include "SystemInfo.h"
#include "bench/support/Measured.h"

namespace {

namespace pt = boost::property_tree;
using Quendal::Tool::Format;

pt::ptree Document(std::size_t n) {
    std::vector<Tesmora::TSOptions::SoftwareIdentity_> identities(n);
    for (std::size_t i = 0; i < n; ++i) {
        auto& identity = identities[i];
        identity.name = "Adapter firmware, port " + std::to_string(i);
        identity.software_id = "NIC-FW-" + std::to_string(i % 64);
        identity.version_string = "4.2." + std::to_string(i % 97);
        identity.classifications = "10";
        identity.description = "Dual-port 25GbE adapter <rev \"B\"> & more #" + std::to_string(i);
        identity.instance_id = "FW-INST-" + std::to_string(i);
        identity.associated_adapter_slot = std::to_string(i % 16);
        identity.slot_type = static_cast<Tesmora::TSOptions::Slot_Type>(i % 10);
        identity.is_pldm_update_supported = "0";
    }
    pt::ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree({"Example OS 12", "64 bit"}, {"QX06", "J30A1B2C"},
                                             identities, tree, "BMC-T1");
    return tree;
}

void Render(benchmark::State& state, Format format, bool project) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const pt::ptree tree = Document(n);
    auto once = [&](bool measured) {
        std::string text;
        Quendal::Bench::Step(state, measured, [&] {
            if (project) {
                text = Quendal::Tool::Render(tree, format);
            } else {
                std::ostringstream out;
                if (format == Format::kXml) {
                    pt::write_xml(out, tree, pt::xml_writer_make_settings<std::string>(' ', 2));
                } else {
                    pt::write_json(out, tree);
                }
                text = out.str();
            }
        });
        benchmark::DoNotOptimize(text.data());
    };
    once(false);
    for (auto _ : state) {
        once(true);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

}  // namespace

int main(int argc, char** argv) {
    const std::initializer_list<std::int64_t> sizes = {1000, 10000, 100000};
    for (const auto& [format, name] : {std::pair{Format::kXml, "xml"}, {Format::kJson, "json"}}) {
        for (const bool project : {true, false}) {
            Quendal::Bench::Register(
                std::string("render/") + name + (project ? "/project" : "/bound"),
                [format = format, project](benchmark::State& state) {
                    Render(state, format, project);
                },
                sizes);
        }
    }
    return Quendal::Bench::Run(argc, argv);
}
