#include <cstdlib>
#include <iostream>

#include "Src/Utility/SystemInfo/ModuleDirectory.h"
#include "Src/Utility/SystemInfo/ScanRules.h"
#include "Src/Utility/SystemInfo/SystemInfo.h"
#include "Src/Utility/Timer/Timer.h"
#include "common/ErrorCode.h"
#include "common/SystemsList.h"
#include "tesmora/Agentless.h"
#include "tesmora/CMMInventory.h"
#include "tesmora/DeviceCollector.h"
#include "tesmora/DriverInfo.h"
#include "tesmora/Log.h"
#include "tesmora/OperatingSystem.h"
#include "tesmora/OsInfo.h"
#include "tesmora/SMMInventory.h"
#include "tesmora/SystemCheck.h"

namespace Status = Quendal::Status;
namespace Scan = Quendal::Scan;
using Tesmora::TesmoraConnection::kEndpointCMM;
using Tesmora::TesmoraConnection::kEndpointNone;
using Tesmora::TesmoraConnection::kEndpointSMM;

// The defaulted assignment operators stay trivial, yet callers of the library expect to find
// them in its export list; naming them here makes the compiler emit them in this library.
[[gnu::used]] static SystemInfoScan& (SystemInfoScan::*const kKeepScanCopyAssign)(
    const SystemInfoScan&) = &SystemInfoScan::operator=;
[[gnu::used]] static SystemInfoScan& (SystemInfoScan::*const kKeepScanMoveAssign)(
    SystemInfoScan&&) = &SystemInfoScan::operator=;

namespace {

// A systems list next to this module. No separator is added: the directory ends in one, or is
// empty when the module's path cannot be read, and then the bare name is passed.
std::string SystemsListPath(const std::string& file_name) {
    using namespace Quendal::ModuleDirectory;
    return GetModuleDirectory(GetSelfModuleHandle()) + file_name;
}

}  // namespace

int SystemInfoScan::GetOSInfo(std::pair<std::string, std::string>& os_info) {
    std::string reserved;
    return GetOSInfo(os_info, reserved);
}

int SystemInfoScan::GetOSInfo(std::pair<std::string, std::string>& os_info, std::string&) {
    TS_LOG(4) << "Entry GetOSInfoImpl()";
    Tesmora::TSOperatingSystem::OperatingSystem operating_system;
    std::string os_type;
    const int result = operating_system.GetOSType(os_type);
    Scan::LowerCaseInPlace(os_type);
    TS_LOG(4) << "The OS type: " << os_type;
    if (result != 0) {
        return Status::FAILED_TO_GET_OS_TYPE;
    }

    const Scan::OsRow* row = Scan::RecognizeWindowsEdition(os_type);
    if (row == nullptr) {
        TS_LOG(1) << (os_type.empty() ? "Inband mode get os type failed"
                                      : "Inband mode get invalid os type");
        return Status::OS_NOT_SUPPORTED;
    }
    if (!row->supported) {
        return Status::OS_NOT_SUPPORTED;
    }
    os_info = std::pair<std::string, std::string>(row->name, row->architecture);
    return Status::SUCCEED;
}

int SystemInfoScan::GetEsxiOSInfo(const ConnectionInfo& connection,
                                  std::pair<std::string, std::string>& os_info) {
    TS_LOG(4) << "Entry GetEsxiOSInfo";
    const Tesmora::osinfo::CIMCONNECTIONTYPE connection_type = Tesmora::osinfo::CIM_HTTPS;
    Tesmora::osinfo os_library(connection.host, connection.user, connection.password,
                               connection.port, connection_type);
    Tesmora::OSINFO version_info;
    if (os_library.osinfoGetVersion(version_info) != Tesmora::osinfo::OSINFO_SUCCESS) {
        return Status::FAILED_TO_GET_OS_TYPE;
    }

    std::string display_name = version_info.version;
    const Scan::EsxiRow* row = Scan::RecognizeEsxiVersion(version_info.version);
    if (row == nullptr) {
        TS_LOG(1) << "Inband mode don't support os type";
        return Status::OS_NOT_SUPPORTED;
    }
    display_name = row->name;
    const std::string architecture(Scan::EsxiArchitecture(version_info.architecture));
    os_info = std::pair<std::string, std::string>(display_name, architecture);
    return Status::SUCCEED;
}

int SystemInfoScan::GetDriverData(std::vector<Tesmora::DriverData>& drivers, bool all_drivers) {
    TS_LOG(4) << "Entry GetDriverData()";
    Tesmora::DriverInfo driver_library;
    const Tesmora::DriverInfo::DriverInfoSetType set_type =
        all_drivers ? Tesmora::DriverInfo::DRIVERS_ALL : Tesmora::DriverInfo::DRIVERS_LOADED;
    return Scan::DriverListStatus(driver_library.list_drivers(drivers, set_type));
}

int SystemInfoScan::GetDiskDriverSoftwareIdentity(std::vector<SoftwareIdentity>& identities) {
    Tesmora::TSSystemDevice::DeviceCollector collector;
    const int result = collector.GetDiskDriverSoftwareIdentities(identities);
    if (Scan::DiskDriverCollectSucceeded(result)) {
        TS_LOG(3) << "Inventory Inband OnBoard disk driver succeeded.";
        return Status::SUCCEED;
    }
    TS_LOG(1) << "Inventory Inband OnBoard disk driver failed,retcode=" << result;
    return Status::INTERNAL_ERROR;
}

int SystemInfoScan::GetAgentlessSoftwareIdentity(const ConnectionInfo& connection,
                                                 std::vector<SoftwareIdentity>& identities) {
    if (connection.type == kEndpointNone) {
        TS_LOG(3) << "Inventory agentless succeeded.";
        return Status::SUCCEED;
    }
    int result = 0;
    {
        // Let go of the BMC session before deciding anything.
        Tesmora::Agentless::AgentlessSoftwareIdentity agentless(connection);
        result = agentless.GetPLDMSoftwareIdentities(identities);
    }
    if (result == 0) {
        TS_LOG(3) << "Inventory agentless succeeded.";
        return Status::SUCCEED;
    }
    TS_LOG(3) << "Inventory agentless failed.";
    return kAgentlessInventoryFailed;
}

int SystemInfoScan::GetMachineType(const ConnectionInfo& connection,
                                   std::pair<std::string, std::string>& machine_type) {
    TS_LOG(4) << "Entry GetMachineType()";
    const auto type = connection.type;

    if (type == kEndpointSMM) {
        Tesmora::SMMInventory smm(connection);
        std::string smm_machine_type;
        std::string smm_serial_number;
        // An enclosure answers what it can; whatever it left in the two texts is the answer.
        smm.GetSmmMT(smm_machine_type);
        smm.GetSmmSN(smm_serial_number);
        machine_type = std::pair<std::string, std::string>(smm_machine_type, smm_serial_number);
        TS_LOG(4) << "Exit GetMachineType() for SMM";
        return Status::SUCCEED;
    }

    if (type == kEndpointCMM) {
        Tesmora::CMMInventory inventory(connection.host, connection.port, connection.user,
                                        connection.password);
        Tesmora::ChassisInfo chassis;
        if (inventory.GetChassisInfo(chassis) != 0) {
            TS_LOG(2) << "GetChassisInfo failed!";
        } else {
            machine_type = std::pair<std::string, std::string>(
                Scan::MachineTypeFromModel(chassis.MachineTypeModel), chassis.SerialNumber);
        }
        TS_LOG(4) << "Exit GetMachineType() for CMM";
        return Status::SUCCEED;
    }

    const std::vector<ConnectionInfo> connections{connection};
    Tesmora::SystemCheck system_check(connections,
                                      SystemsListPath(Quendal::SystemsList::kFirstSystemsList),
                                      SystemsListPath(Quendal::SystemsList::kSecondSystemsList),
                                      SystemsListPath(Quendal::SystemsList::kThirdSystemsList),
                                      SystemsListPath(Quendal::SystemsList::kFourthSystemsList));
    if (system_check.GetMachineType(machine_type) == Tesmora::SystemCheck::SUCCESS) {
        TS_LOG(4) << "GetMachineType() for BMC with Rest Success";
        return Status::SUCCEED;
    }
    TS_LOG(4) << "GetMachineType() for BMC with Rest Fail";
    return kMachineTypeCheckFailed;
}

int SystemInfoScan::GetCMMSoftwareIdentity(const ConnectionInfo& connection,
                                           std::vector<CMMInfo>& cmm_list) {
    Timer timer("SystemInfoScan::GetCMMSoftwareIdentity");
    Tesmora::CMMInventory inventory(connection.host, connection.port, connection.user,
                                    connection.password);
    if (!inventory.IsCMM()) {
        return kNotACMM;
    }

    // A chassis that cannot tell its machine type still lists its CMMs; the records then carry
    // whatever the library left.
    Tesmora::ChassisInfo chassis;
    inventory.GetChassisInfo(chassis);

    Tesmora::CMMDataList cmm_data_list;
    Tesmora::CMMData cmm_data;
    const int result = inventory.GetCMMData(cmm_data_list);
    TS_LOG(4) << "GetCMMData() retCode = " << result;
    if (result != 0) {
        TS_LOG(1) << "Failed to get CMM Data.";
        return result;
    }

    for (std::size_t index = 0; index < cmm_data_list.Size(); ++index) {
        cmm_data = cmm_data_list.Get(index);
        const bool primary = cmm_data.IsSecondary == 0;
        CMMInfo cmm_info;
        cmm_info.mt = Scan::MachineTypeFromModel(chassis.MachineTypeModel);
        cmm_info.sn = chassis.SerialNumber;
        cmm_info.id = "CMM";
        cmm_info.version = cmm_data.FirmwareVersion;
        cmm_info.classification = "";
        cmm_info.description = primary ? "Firmware for Primary CMM" : "Firmware for Secondary CMM";
        cmm_info.name = primary ? "Primary CMM Firmware Software Identity Information"
                                : "Secondary CMM Firmware Software Identity Information";
        cmm_list.push_back(cmm_info);
    }
    return Status::SUCCEED;
}

int SystemInfoScan::GetSwitchSoftwareIdentity(const ConnectionInfo& connection,
                                              const std::string& bay,
                                              std::vector<SwitchInfo>& switch_list) {
    Timer timer("SystemInfoScan::GetSwitchSoftwareIdentity");
    Tesmora::CMMInventory inventory(connection.host, connection.port, connection.user,
                                    connection.password);
    if (!inventory.IsCMM()) {
        return kNotACMM;
    }

    Tesmora::ChassisInfo chassis;
    inventory.GetChassisInfo(chassis);
    SwitchInfo switch_info;
    switch_info.mt = Scan::MachineTypeFromModel(chassis.MachineTypeModel);
    switch_info.sn = chassis.SerialNumber;

    Tesmora::CIMIODataList io_data_list;
    const int bay_number = std::atoi(bay.c_str());
    const int switch_type = inventory.GetSwitchType(bay_number);
    int result = 0;
    if (switch_type == Tesmora::CMMInventory::kIOModuleSwitch) {
        TS_LOG(3) << "The switch is IO Module switch.";
        TS_LOG(3) << "start to get data of IO Module switch.";
        result = inventory.GetIOModuleDataByBayID(bay_number, io_data_list);
    } else if (switch_type == Tesmora::CMMInventory::kPassThroughModule) {
        TS_LOG(3) << "The switch is Pass-Through switch.";
        TS_LOG(3) << "start to get data of Pass-Through switch.";
        result = inventory.GetPassThruData(bay_number, io_data_list);
    } else {
        TS_LOG(3) << "get switch type ERROR.";
        std::cerr << "get switch type ERROR." << std::endl;
        return Status::GENERIC_FAILURE;
    }
    if (result != 0) {
        std::cerr << "Get Switch Info failed" << std::endl;
        return Status::GENERIC_FAILURE;
    }

    for (std::size_t index = 0; index < io_data_list.Size(); ++index) {
        Tesmora::CIMIOData io_data;
        io_data = io_data_list.Get(index);
        TS_LOG(3) << "IsPassThrough:  " << io_data.IsPassThrough;
        // Each data set's own flag decides how its identifiers are formed, whatever kind the
        // bay reported.
        for (std::size_t entry = 0; entry < io_data.Firmware.size(); ++entry) {
            const Tesmora::CIMIOFirmware& firmware = io_data.Firmware[entry];
            const std::string short_name = Scan::SwitchShortName(firmware.Name);
            if (io_data.IsPassThrough) {
                switch_info.id = Scan::PassThroughId(
                    io_data.PassThruIdPart1, io_data.PassThruIdPart2, firmware.PassThruIdPart3);
                TS_LOG(3) << "switch_info.id  " << switch_info.id;
            } else {
                switch_info.id = firmware.Id;
                TS_LOG(3) << "switch_info.id  " << switch_info.id;
                Scan::RemoveTrailingBlanks(switch_info.id);
                TS_LOG(3) << "switch_info.id  " << switch_info.id;
            }
            switch_info.version = firmware.Version;
            TS_LOG(3) << "switch_info.version:   " << switch_info.version;
            switch_info.classification = Scan::ClassificationText(firmware.Classification);
            switch_info.description = "Firmware for " + short_name;
            switch_info.name = short_name + " Firmware Software Identity Information";
            switch_list.push_back(switch_info);
        }
    }
    return Status::SUCCEED;
}
