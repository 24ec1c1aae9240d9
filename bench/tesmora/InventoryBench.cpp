// Loading an inventory beside nlohmann's parser alone on the same bytes (no callback, no
// checks): one server behind its BMC with N software identities.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <string>

#include "bench/support/Measured.h"
#include "tesmora/Inventory.h"

namespace {

std::string InventoryText(std::size_t n) {
    std::string text =
        "{\"hosts\": {\"192.0.2.30\": {\"kind\": \"bmc\", \"machine_type\": \"QX06\", "
        "\"serial_number\": \"J30A1B2C\", \"identities\": [";
    for (std::size_t i = 0; i < n; ++i) {
        const std::string number = std::to_string(i);
        text += (i == 0 ? "\n" : ",\n");
        text += "{\"software_id\": \"NIC-FW-" + number + "\", \"name\": \"Adapter firmware, port " +
                number + "\", \"version_string\": \"4.2." + std::to_string(i % 97) +
                "\", \"classifications\": \"10\", \"description\": \"Dual-port adapter #" + number +
                "\", \"instance_id\": \"FW-INST-" + number + "\", \"associated_adapter_slot\": \"" +
                std::to_string(i % 16) + "\", \"slot_type\": " + std::to_string(i % 10) + "}";
    }
    return text + "]}}}\n";
}

void Load(benchmark::State& state, bool project) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::string text = InventoryText(n);
    auto once = [&](bool measured) {
        Quendal::Bench::Step(state, measured, [&] {
            if (project) {
                benchmark::DoNotOptimize(Tesmora::Inventory::Parse(text, "bench.json"));
            } else {
                benchmark::DoNotOptimize(nlohmann::json::parse(text));
            }
        });
    };
    once(false);
    for (auto _ : state) {
        once(true);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

}  // namespace

int main(int argc, char** argv) {
    for (const bool project : {true, false}) {
        Quendal::Bench::Register(
            std::string("inventory-load/bmc") + (project ? "/project" : "/bound"),
            [project](benchmark::State& state) { Load(state, project); }, {1000, 10000, 100000});
    }
    return Quendal::Bench::Run(argc, argv);
}
