// Parameters of one remote endpoint (BMC, CMM, SMM or hypervisor host).
//
// Plain aggregate with value semantics; nothing throws beyond std::string's own allocation.
// The record carries a password: whoever prints or logs a record must leave that member out.
#pragma once

#include <cstdint>
#include <string>

namespace Tesmora {
namespace TesmoraConnection {

struct ConnectionInfo {
    std::string host;
    std::uint16_t port = 0;
    std::string user;
    std::string password;
    std::uint16_t cim_port = 0;
    std::uint16_t ssh_port = 0;
    std::uint32_t timeout_ms = 0;
    // Endpoint kind, set by the connection layer. Values the scans tell apart:
    // kEndpointSMM, kEndpointCMM and kEndpointNone (no management controller to ask); a server
    // behind its BMC is kEndpointBMC.
    std::uint32_t type = 0;
    std::uint32_t retries = 0;
};

inline constexpr std::uint32_t kEndpointNone = 0;
inline constexpr std::uint32_t kEndpointBMC = 1;
inline constexpr std::uint32_t kEndpointCMM = 4;
inline constexpr std::uint32_t kEndpointSMM = 7;

}  // namespace TesmoraConnection
}  // namespace Tesmora
