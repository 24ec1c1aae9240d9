// The in-house SMM inventory library: what an enclosure's system management module reports.
//
// One object per endpoint and use; not shared between threads. Calls go to the backend pinned
// at construction (see Backend.h); its exceptions pass through.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tesmora/ConnectionInfo.h"
#include "tesmora/Export.h"
#include "tesmora/PSUFwInfo.h"

namespace Tesmora {

class Backend;

enum SMMInventoryErrorCode {
    SMM_SUCCESS = 0,
    SMM_CONNECTION_FAILED = 1,
    SMM_AUTHENTICATION_FAILED = 2,
    SMM_NOT_AVAILABLE = 3,
};

// The SMM's own firmware identity.
struct SMMFirmware {
    std::string id;
    std::string version;
    std::string classification;
    std::string description;
    std::string name;
};

class TESMORA_API SMMInventory {
public:
    explicit SMMInventory(const TesmoraConnection::ConnectionInfo& connection);
    ~SMMInventory();
    SMMInventory(const SMMInventory&) = delete;
    SMMInventory& operator=(const SMMInventory&) = delete;

    SMMInventoryErrorCode GetSmmMT(std::string& machine_type);
    SMMInventoryErrorCode GetSmmSN(std::string& serial_number);
    SMMInventoryErrorCode GetSmmFirmware(SMMFirmware& firmware);
    // Appends one record per power supply.
    SMMInventoryErrorCode GetPSUFirmware(std::vector<PSUFwInfo>& power_supplies);

private:
    TesmoraConnection::ConnectionInfo connection_;
    std::shared_ptr<Backend> backend_;
};

}  // namespace Tesmora
