// The inventory reader against any bytes: Parse promises InventoryError and nothing else (but
// std::bad_alloc), and a file it takes must answer Find for every host it holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tesmora/Inventory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Small bounds, so that the fuzzer reaches each limit with inputs of a few hundred bytes.
    Tesmora::InventoryLimits limits;
    limits.max_bytes = 1 << 20;
    limits.max_members = 64;
    limits.max_objects = 256;
    try {
        const auto inventory = Tesmora::Inventory::Parse(text, "fuzz.json", limits);
        inventory->Find("192.0.2.10");
    } catch (const Tesmora::InventoryError&) {
    }
    return 0;
}
