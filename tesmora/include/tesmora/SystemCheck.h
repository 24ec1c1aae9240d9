// The in-house system-check library: machine type and serial number of a server behind its BMC,
// checked against the systems lists the tool ships.
//
// One object per use; not shared between threads. Calls go to the backend pinned at
// construction (see Backend.h); its exceptions pass through.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tesmora/ConnectionInfo.h"
#include "tesmora/Export.h"

namespace Tesmora {

class Backend;

// The constructor's arguments, kept together.
struct SystemCheckTargets {
    std::vector<TesmoraConnection::ConnectionInfo> connections;
    std::vector<std::string> systems_lists;  // paths, in the order given
};

class TESMORA_API SystemCheck {
public:
    enum ErrorCode {
        SUCCESS = 0,
        CONNECTION_FAILED = 1,
        UNSUPPORTED_SYSTEM = 2,
        SYSTEMS_LIST_UNREADABLE = 3,
        AUTHENTICATION_FAILED = 4,  // the BMC refused the user name or password
        QUERY_FAILED = 5,           // the BMC's answer could not be used
    };

    SystemCheck(const std::vector<TesmoraConnection::ConnectionInfo>& connections,
                const std::string& first_list, const std::string& second_list,
                const std::string& third_list, const std::string& fourth_list);
    ~SystemCheck();
    SystemCheck(const SystemCheck&) = delete;
    SystemCheck& operator=(const SystemCheck&) = delete;

    // Fills first with the machine type and second with the serial number.
    ErrorCode GetMachineType(std::pair<std::string, std::string>& machine_type);

private:
    SystemCheckTargets targets_;
    std::shared_ptr<Backend> backend_;
};

}  // namespace Tesmora
