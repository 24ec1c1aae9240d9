// The in-house chassis inventory library: what a chassis management module (CMM) reports about
// its chassis, its CMMs and the I/O modules in its bays.
//
// The data types are plain values. A CMMInventory is one object per endpoint and use, not
// shared between threads; its calls go to the backend pinned at construction (see Backend.h),
// whose exceptions pass through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tesmora/Export.h"

namespace Tesmora {

class Backend;

struct ChassisInfo {
    std::string MachineTypeModel;  // machine type (first four characters) and model
    std::string SerialNumber;
    std::string Name;
};

struct CMMData {
    std::string FirmwareVersion;
    std::int32_t IsSecondary = 0;  // 0 for the primary CMM
    std::string BuildId;
    std::string ReleaseDate;
};

struct CIMIOFirmware {
    std::string Version;
    std::string Name;
    std::string PassThruIdPart3;
    std::string Id;
    std::int32_t Classification = -1;  // -1: none
};

struct CIMIOData {
    bool IsPassThrough = false;
    std::string PassThruIdPart1;
    std::string PassThruIdPart2;
    std::vector<CIMIOFirmware> Firmware;
};

// An indexed list as the library hands it out: Get(i) is valid for i < Size().
template <typename Item>
class InventoryList {
public:
    std::size_t Size() const { return items_.size(); }
    Item& Get(std::size_t index) { return items_.at(index); }
    const Item& Get(std::size_t index) const { return items_.at(index); }
    void Add(Item item) { items_.push_back(std::move(item)); }

private:
    std::vector<Item> items_;
};

class CMMDataList : public InventoryList<CMMData> {};
class CIMIODataList : public InventoryList<CIMIOData> {};

// Where the CMM is reached; the constructor's arguments, kept together.
struct ChassisEndpoint {
    std::string host;
    unsigned short port = 0;
    std::string user;
    std::string password;
};

class TESMORA_API CMMInventory {
public:
    // Module kinds GetSwitchType reports.
    enum : int {
        kIOModuleSwitch = 1,
        kPassThroughModule = 2,
    };

    // Failures of the calls that return an int; 0 is success.
    enum : int {
        kConnectionFailed = 1,
        kAuthenticationFailed = 2,
        kNoSuchModule = 3,  // no module of the kind asked for in that bay
        kQueryFailed = 4,   // the answer could not be used
    };

    CMMInventory(const std::string& host, unsigned short port, const std::string& user,
                 const std::string& password);
    ~CMMInventory();
    CMMInventory(const CMMInventory&) = delete;
    CMMInventory& operator=(const CMMInventory&) = delete;

    bool IsCMM();
    int GetChassisInfo(ChassisInfo& info);
    int GetCMMData(CMMDataList& list);
    int GetSwitchType(int bay);
    // Each bay that holds an I/O module, with the module's kind (kIOModuleSwitch or
    // kPassThroughModule), in bay order; 0 or one of the failures above.
    int GetModuleBays(std::vector<std::pair<int, int>>& bays);
    int GetIOModuleDataByBayID(int bay, CIMIODataList& list);
    int GetPassThruData(int bay, CIMIODataList& list);

private:
    ChassisEndpoint endpoint_;
    std::shared_ptr<Backend> backend_;
};

}  // namespace Tesmora
