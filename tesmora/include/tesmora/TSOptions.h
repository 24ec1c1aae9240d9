// Software identities as the in-house inventory libraries report them.
//
// Plain aggregates with value semantics: copy, move and destroy member by member, nothing
// throws beyond std::string's own allocation. Safe to share between threads when only read.
// The first twenty members follow the properties of the CIM SoftwareIdentity class in order;
// callers that index into the record rely on that order, so new members go between
// `last_update_error_string` and `slot_type`, never in front.
#pragma once

#include <cstdint>
#include <string>

namespace Tesmora {
namespace TSOptions {

// Kind of slot a component sits in. Only the number crosses module boundaries: documents carry
// the decimal value, never a name, so values outside the named range survive unchanged.
enum Slot_Type : std::int32_t {
    SLOT_ONBOARD = 0,
    SLOT_DRIVE_BAY = 1,
    SLOT_PSU = 2,
    SLOT_PCI = 3,
    SLOT_AEP = 4,
    SLOT_M2_BAY = 5,
    SLOT_7MM_BAY = 6,
    SLOT_PCIE = 7,
    SLOT_RETIMER = 8,
    SLOT_OCP = 9,
};

inline constexpr int kSlotTypeCount = 10;

// Display names of the slot kinds, indexed by Slot_Type value.
inline constexpr const char* kSlotTypeNames[kSlotTypeCount] = {
    "ONBOARD", "Drive_Bay", "PSU_Slot",  "PCI_Slot",     "AEP_Slot",
    "M2_Bay",  "7mm_Bay",   "PCIe_Slot", "Retimer_SLOT", "OCP_SLOT",
};

struct SoftwareIdentity_ {
    std::string description;
    std::string element_name;
    std::string product_name;
    std::string manufacturer;
    std::string name;
    std::string version_string;
    std::string classifications;  // classification code as text
    std::string classification_descriptions;
    std::string identity_info_value;
    std::string software_id;  // short component identifier
    std::string subdevice_id;
    std::string release_date;
    std::string software_status;
    std::string software_role;
    std::string identity_info_type;
    std::string is_pldm_update_supported;
    std::string instance_id;
    std::string associated_adapter_slot;  // slot number as text
    std::string last_update_error;
    std::string last_update_error_string;
    // Device the identity was read from (for example a block device); inventory bookkeeping.
    std::string target_device;
    Slot_Type slot_type = SLOT_ONBOARD;
};

}  // namespace TSOptions
}  // namespace Tesmora
