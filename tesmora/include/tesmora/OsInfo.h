// The in-house CIM OS-information library: the version of a remote hypervisor host.
//
// One object per remote host and use; not shared between threads. Calls go to the backend
// pinned at construction (see Backend.h); its exceptions pass through.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tesmora/Export.h"

namespace Tesmora {

class Backend;

struct OSINFO {
    std::string version;            // the host's version with its dotted numbers, e.g. "6.7.0"
    std::string build;              // build number text
    std::int32_t architecture = 0;  // > 0 for a 64-bit host
};

// Where and how a CIM query goes; the constructor's arguments, kept together.
struct OsInfoEndpoint {
    std::string host;
    std::string user;
    std::string password;
    unsigned short port = 0;
    int connection_type = 0;
};

class TESMORA_API osinfo {
public:
    enum CIMCONNECTIONTYPE { CIM_HTTP = 0, CIM_HTTPS = 1 };
    enum OSINFORETURNCODE {
        OSINFO_SUCCESS = 0,
        OSINFO_CONNECTION_FAILED = 1,
        OSINFO_AUTHENTICATION_FAILED = 2,
        OSINFO_QUERY_FAILED = 3,
    };

    osinfo(const std::string& host, const std::string& user, const std::string& password,
           unsigned short port, const CIMCONNECTIONTYPE& connection_type);
    ~osinfo();
    osinfo(const osinfo&) = delete;
    osinfo& operator=(const osinfo&) = delete;

    OSINFORETURNCODE osinfoGetVersion(OSINFO& info);

private:
    OsInfoEndpoint endpoint_;
    std::shared_ptr<Backend> backend_;
};

}  // namespace Tesmora
