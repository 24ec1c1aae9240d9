// The in-house agentless inventory library: identities a BMC reports over PLDM.
//
// One object per endpoint and use; not shared between threads. Calls go to the backend pinned
// at construction (see Backend.h); its exceptions pass through.
#pragma once

#include <memory>
#include <vector>

#include "tesmora/ConnectionInfo.h"
#include "tesmora/Export.h"
#include "tesmora/TSOptions.h"

namespace Tesmora {

class Backend;

namespace Agentless {

class TESMORA_API AgentlessSoftwareIdentity {
public:
    explicit AgentlessSoftwareIdentity(const TesmoraConnection::ConnectionInfo& connection);
    ~AgentlessSoftwareIdentity();
    AgentlessSoftwareIdentity(const AgentlessSoftwareIdentity&) = delete;
    AgentlessSoftwareIdentity& operator=(const AgentlessSoftwareIdentity&) = delete;

    // Failures of GetPLDMSoftwareIdentities; 0 is success.
    enum : int {
        kConnectionFailed = 1,
        kAuthenticationFailed = 2,
        kQueryFailed = 4,  // the answer could not be used
    };

    // Appends the identities the BMC reports; 0 on success.
    int GetPLDMSoftwareIdentities(std::vector<TSOptions::SoftwareIdentity_>& identities);

private:
    TesmoraConnection::ConnectionInfo connection_;
    std::shared_ptr<Backend> backend_;
};

}  // namespace Agentless
}  // namespace Tesmora
