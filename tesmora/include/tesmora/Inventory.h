// Remote endpoints described by address, for a machine that reaches no real BMC, CMM, SMM or
// hypervisor host. The file format is described in docs/inventory.md.
//
// An Inventory is built once by Load or Parse and never changes afterwards: share it through
// its shared_ptr<const Inventory> and read it from any number of threads at once. The records
// Find returns live as long as the inventory they come from. Load and Parse throw
// InventoryError for a file that cannot be read or does not follow the format, naming the file
// and the place, whatever the parser underneath throws; std::bad_alloc passes through. Nothing
// else here throws.
//
// Limits. An inventory describes a test bench, not a data centre; these bounds are far beyond
// any real one and keep a hostile or broken file from taking the memory or the time of the
// machine. Load takes regular files only (a FIFO would leave it waiting for a writer, a device
// such as /dev/zero never ends) of at most 64 MiB. While the text is parsed, and so before its
// tree is complete, no array may hold more than 100,000 elements (identities of one host,
// supplies of one enclosure, ...) nor an object more than 100,000 members (hosts), the file no
// more than 1,000,000 objects in all, and nothing may nest deeper than 16 levels (the format
// itself nests nine deep). Each is an InventoryError naming the file, the place and the limit.
//
// The records carry passwords: whoever prints or logs one must leave them out.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tesmora/CMMInventory.h"
#include "tesmora/Export.h"
#include "tesmora/OsInfo.h"
#include "tesmora/PSUFwInfo.h"
#include "tesmora/SMMInventory.h"
#include "tesmora/TSOptions.h"

namespace Tesmora {

// What an inventory file could not give; what() reads "FILE: cannot open: REASON",
// "FILE:LINE:COLUMN: MESSAGE" for text that is not JSON, or "FILE: at PATH: MESSAGE" with
// PATH a JSON pointer to the offending value.
class TESMORA_API InventoryError : public std::runtime_error {
public:
    explicit InventoryError(const std::string& message);
};

enum class EndpointKind { kCMM, kSMM, kBMC, kESXi };

struct InventoryCredentials {
    std::string user;
    std::string password;
};

// One bay of a CMM-managed chassis.
struct ChassisBay {
    int switch_type = 0;  // CMMInventory::kIOModuleSwitch or CMMInventory::kPassThroughModule
    std::vector<CIMIOData> modules;
};

// One host of the inventory. Only the members of its kind are filled.
struct TESMORA_API InventoryEndpoint {
    EndpointKind kind = EndpointKind::kCMM;
    std::optional<InventoryCredentials> credentials;  // none: any user and password will do
    std::map<std::string, int> failures;              // library call name -> code it returns

    // cmm
    ChassisInfo chassis;
    std::vector<CMMData> cmms;
    std::map<int, ChassisBay> bays;

    // smm and bmc
    std::string machine_type;
    std::string serial_number;

    // smm
    SMMFirmware smm_firmware;
    std::vector<PSUFwInfo> power_supplies;

    // bmc
    std::vector<TSOptions::SoftwareIdentity_> identities;

    // esxi
    OSINFO os;

    // The code the named call is scripted to fail with, if any.
    std::optional<int> FailureOf(const std::string& call) const;

    // Whether a connection with this user and password gets past the host's log-in.
    bool Admits(const std::string& user, const std::string& password) const;
};

// The bounds Load and Parse hold a file to (see above); tests try them on small values.
struct InventoryLimits {
    std::size_t max_bytes = 64 * 1024 * 1024;
    std::size_t max_members = 100000;   // elements of one array, members of one object
    std::size_t max_objects = 1000000;  // in the whole file
    std::size_t max_nesting = 16;
};

class TESMORA_API Inventory {
public:
    // Reads and checks the file at path; the path names the file in error messages.
    static std::shared_ptr<const Inventory> Load(const std::string& path,
                                                 const InventoryLimits& limits = {});

    // Checks json_text as if it had been read from a file called source_name.
    static std::shared_ptr<const Inventory> Parse(const std::string& json_text,
                                                  const std::string& source_name,
                                                  const InventoryLimits& limits = {});

    // The host listed under exactly this address, or nullptr.
    const InventoryEndpoint* Find(const std::string& address) const;

    std::size_t Size() const { return hosts_.size(); }

private:
    static std::string ReadWhole(const std::string& path, const InventoryLimits& limits);
    // Takes the text by value so that it can be let go once it is parsed.
    static std::shared_ptr<const Inventory> FromText(std::string json_text,
                                                     const std::string& source_name,
                                                     const InventoryLimits& limits);

    std::map<std::string, InventoryEndpoint> hosts_;
};

}  // namespace Tesmora
