// What the OS-information library answers, read from a host's CIM server: which classes and
// properties give the version and the architecture, written down for users in docs/cim.md.
#pragma once

#include <string>
#include <vector>

#include "cim/Client.h"
#include "tesmora/OsInfo.h"

namespace Tesmora::Cim {

inline constexpr const char* kSoftwareIdentityClass = "CIM_SoftwareIdentity";
inline constexpr const char* kProcessorClass = "CIM_Processor";
// Classifications value of an operating system's software identity (the hypervisor's, here).
inline constexpr const char* kOperatingSystemClassification = "8";

// The properties asked for with each class.
const std::vector<std::string>& SoftwareIdentityProperties();
const std::vector<std::string>& ProcessorProperties();

// The record from the enumerated instances. Throws Error (kMissingResource) where no software
// identity is the operating system's or it holds no version, and where no processor tells its
// address width: the architecture is never guessed.
OSINFO OsInfoFrom(const std::vector<Instance>& identities, const std::vector<Instance>& processors);

// Both enumerations on the client, then OsInfoFrom. A processor class the server does not offer
// fails like processors without an address width; so does every other failure.
OSINFO ReadOsInfo(Client& client);

}  // namespace Tesmora::Cim
