// One installed driver as the in-house driver library reports it.
//
// Plain aggregate with value semantics; nothing throws beyond std::string's own allocation.
#pragma once

#include <string>

namespace Tesmora {

struct DriverData {
    std::string name;
    std::string description;
    std::string file_name;  // where the driver's image lies, when known
    std::string version;
    std::string provider;
};

}  // namespace Tesmora
