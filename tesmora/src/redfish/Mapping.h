// How Redfish resources become the in-house libraries' records: pure functions of the JSON,
// written down for users in docs/redfish.md.
//
// Properties are read leniently, as real services demand: an absent or null property, or one
// of an unexpected type, reads as an empty text; a number reads as its JSON text; properties
// not named here are ignored. Nothing here throws but std::bad_alloc.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "redfish/Client.h"
#include "tesmora/CMMInventory.h"
#include "tesmora/PSUFwInfo.h"
#include "tesmora/SMMInventory.h"
#include "tesmora/TSOptions.h"

namespace Tesmora::Redfish {

// Whether the mapping (or the client, walking links) reads a property of this name at any
// level; the client drops every other property as it parses an answer.
bool IsMappedProperty(std::string_view name);

// The mapped property names a resource may hold at its top, comma-separated: what a $select
// asks for, so that a service that honours it sends nothing the mapping would drop.
std::string SelectedProperties();

// The text at a property path, e.g. {"Status", "State"}.
std::string Text(const Json& resource, std::initializer_list<const char*> path);

// The @odata.id of the link object at a property path, or an empty text.
std::string Link(const Json& resource, std::initializer_list<const char*> path);

// The @odata.id of every link object in the array at a property path, in order.
std::vector<std::string> Links(const Json& resource, std::initializer_list<const char*> path);

// A member of the firmware inventory as a software identity.
TSOptions::SoftwareIdentity_ SoftwareIdentityFrom(const Json& software);

// The machine type of a system or an enclosure: the first four characters of its Model (the
// machine-type-model, as the libraries read it), all of it where shorter.
std::string MachineTypeOf(const Json& resource);

// A computer system's machine type (MachineTypeOf) and serial number.
std::pair<std::string, std::string> MachineTypeFrom(const Json& system);

// Why a chassis is a server's own rather than an enclosure ("its ChassisType is RackMount", "it
// holds the computer system ..."), or an empty text when nothing says so.
std::string ServersOwnChassis(const Json& chassis);

// The chassis that stands for the enclosure: the first whose ChassisType is "Enclosure", else
// the only one unless it is a server's own (ServersOwnChassis); nullptr when there is none or
// the choice is not clear.
const Json* SelectEnclosure(const std::vector<const Json*>& chassis);

ChassisInfo ChassisInfoFrom(const Json& chassis);

// A manager in standby (its Status.State begins with "Standby") is the secondary one.
bool IsStandby(const Json& manager);
bool IsEnclosureManager(const Json& manager);
CMMData CMMDataFrom(const Json& manager);
SMMFirmware SMMFirmwareFrom(const Json& manager);

// One power supply, position counting from 0 in collection order; nullopt for an empty bay
// (Status.State "Absent"), which has no firmware to tell.
std::optional<PSUFwInfo> PowerSupplyFrom(const Json& supply, std::size_t position);

// I/O modules: chassis of type "Module" in the enclosure; bay from the location ordinal.
bool IsIOModule(const Json& chassis);
std::optional<int> BayOf(const Json& module);
// CMMInventory::kIOModuleSwitch when the module links switches, else kPassThroughModule.
int SwitchTypeOf(const Json& module);

// Whether a firmware inventory member's RelatedItem names one of these resources.
bool RelatesTo(const Json& software, const std::set<std::string>& resources);
CIMIOFirmware IOModuleFirmwareFrom(const Json& software);
CIMIOData IOModuleDataFrom(const Json& module, std::vector<CIMIOFirmware> firmware);

}  // namespace Tesmora::Redfish
