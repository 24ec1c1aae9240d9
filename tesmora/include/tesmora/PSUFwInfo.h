// Firmware of one power supply behind an enclosure's system management module.
//
// Plain aggregate with value semantics; nothing throws beyond std::string's own allocation.
#pragma once

#include <string>

namespace Tesmora {

struct PSUFwInfo {
    std::string name;
    std::string id;
    std::string version;
    std::string slot_num;  // power-supply bay number as text
    std::string description;
};

}  // namespace Tesmora
