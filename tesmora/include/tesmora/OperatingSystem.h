// The in-house operating-system library: what the local host runs.
//
// One object per use; not shared between threads. Calls go to the current backend (see
// Backend.h), which is pinned when the object is constructed. Exceptions of the backend pass
// through every member.
#pragma once

#include <memory>
#include <string>

#include "tesmora/Export.h"

namespace Tesmora {

class Backend;

namespace TSOperatingSystem {

class TESMORA_API OperatingSystem {
public:
    OperatingSystem();
    ~OperatingSystem();
    OperatingSystem(const OperatingSystem&) = delete;
    OperatingSystem& operator=(const OperatingSystem&) = delete;

    // Fills os_type with a human-readable edition text; 0 on success.
    int GetOSType(std::string& os_type);

private:
    std::shared_ptr<Backend> backend_;
};

}  // namespace TSOperatingSystem
}  // namespace Tesmora
