// A scripted backend for the in-house library stand-ins, and matchers for what they receive.
//
// Install one for a test with Tesmora::ScopedBackend (see InstallMock below). Calls arrive from
// whatever thread the code under test runs on; GoogleMock serialises them.
#pragma once

#include <gmock/gmock.h>

#include <memory>

#include "tesmora/Backend.h"

namespace Quendal::Testing {

class MockBackend : public Tesmora::Backend {
public:
    MOCK_METHOD(void, OperatingSystemCreated, (), (override));
    MOCK_METHOD(int, OperatingSystemGetOSType, (std::string&), (override));
    MOCK_METHOD(void, OperatingSystemDestroyed, (), (override));

    MOCK_METHOD(void, OsInfoCreated, (const Tesmora::OsInfoEndpoint&), (override));
    MOCK_METHOD(Tesmora::osinfo::OSINFORETURNCODE, OsInfoGetVersion,
                (const Tesmora::OsInfoEndpoint&, Tesmora::OSINFO&), (override));
    MOCK_METHOD(void, OsInfoDestroyed, (const Tesmora::OsInfoEndpoint&), (override));

    MOCK_METHOD(void, DriverInfoCreated, (), (override));
    MOCK_METHOD(int, DriverInfoListDrivers,
                (std::vector<Tesmora::DriverData>&, Tesmora::DriverInfo::DriverInfoSetType),
                (override));
    MOCK_METHOD(void, DriverInfoDestroyed, (), (override));

    MOCK_METHOD(void, DeviceCollectorCreated, (), (override));
    MOCK_METHOD(int, DeviceCollectorGetDiskDriverSoftwareIdentities,
                (std::vector<SoftwareIdentity>&), (override));
    MOCK_METHOD(void, DeviceCollectorDestroyed, (), (override));

    MOCK_METHOD(void, AgentlessCreated, (const ConnectionInfo&), (override));
    MOCK_METHOD(int, AgentlessGetPLDMSoftwareIdentities,
                (const ConnectionInfo&, std::vector<SoftwareIdentity>&), (override));
    MOCK_METHOD(void, AgentlessDestroyed, (const ConnectionInfo&), (override));

    MOCK_METHOD(void, CMMInventoryCreated, (const Tesmora::ChassisEndpoint&), (override));
    MOCK_METHOD(bool, CMMInventoryIsCMM, (const Tesmora::ChassisEndpoint&), (override));
    MOCK_METHOD(int, CMMInventoryGetChassisInfo,
                (const Tesmora::ChassisEndpoint&, Tesmora::ChassisInfo&), (override));
    MOCK_METHOD(int, CMMInventoryGetCMMData,
                (const Tesmora::ChassisEndpoint&, Tesmora::CMMDataList&), (override));
    MOCK_METHOD(int, CMMInventoryGetSwitchType, (const Tesmora::ChassisEndpoint&, int), (override));
    MOCK_METHOD(int, CMMInventoryGetModuleBays,
                (const Tesmora::ChassisEndpoint&, (std::vector<std::pair<int, int>>&)), (override));
    MOCK_METHOD(int, CMMInventoryGetIOModuleDataByBayID,
                (const Tesmora::ChassisEndpoint&, int, Tesmora::CIMIODataList&), (override));
    MOCK_METHOD(int, CMMInventoryGetPassThruData,
                (const Tesmora::ChassisEndpoint&, int, Tesmora::CIMIODataList&), (override));
    MOCK_METHOD(void, CMMInventoryDestroyed, (const Tesmora::ChassisEndpoint&), (override));

    MOCK_METHOD(void, SMMInventoryCreated, (const ConnectionInfo&), (override));
    MOCK_METHOD(Tesmora::SMMInventoryErrorCode, SMMInventoryGetSmmMT,
                (const ConnectionInfo&, std::string&), (override));
    MOCK_METHOD(Tesmora::SMMInventoryErrorCode, SMMInventoryGetSmmSN,
                (const ConnectionInfo&, std::string&), (override));
    MOCK_METHOD(Tesmora::SMMInventoryErrorCode, SMMInventoryGetSmmFirmware,
                (const ConnectionInfo&, Tesmora::SMMFirmware&), (override));
    MOCK_METHOD(Tesmora::SMMInventoryErrorCode, SMMInventoryGetPSUFirmware,
                (const ConnectionInfo&, std::vector<Tesmora::PSUFwInfo>&), (override));
    MOCK_METHOD(void, SMMInventoryDestroyed, (const ConnectionInfo&), (override));

    MOCK_METHOD(void, SystemCheckCreated, (const Tesmora::SystemCheckTargets&), (override));
    MOCK_METHOD(Tesmora::SystemCheck::ErrorCode, SystemCheckGetMachineType,
                (const Tesmora::SystemCheckTargets&, (std::pair<std::string, std::string>&)),
                (override));
    MOCK_METHOD(void, SystemCheckDestroyed, (const Tesmora::SystemCheckTargets&), (override));
};

// A strict mock installed as the current backend for the guard's lifetime. Strict, so that a
// library call the test did not script fails the test instead of answering with defaults.
struct InstalledMock {
    std::shared_ptr<::testing::StrictMock<MockBackend>> mock =
        std::make_shared<::testing::StrictMock<MockBackend>>();
    Tesmora::ScopedBackend guard{mock};
};

MATCHER_P4(ChassisAt, host, port, user, password, "") {
    return arg.host == host && arg.port == port && arg.user == user && arg.password == password;
}

MATCHER_P5(OsInfoAt, host, user, password, port, connection_type, "") {
    return arg.host == host && arg.user == user && arg.password == password && arg.port == port &&
           arg.connection_type == connection_type;
}

// Every member of a connection record, so that a scan hands its caller's record on unchanged.
MATCHER_P(SameConnection, expected, "") {
    return arg.host == expected.host && arg.port == expected.port && arg.user == expected.user &&
           arg.password == expected.password && arg.cim_port == expected.cim_port &&
           arg.ssh_port == expected.ssh_port && arg.timeout_ms == expected.timeout_ms &&
           arg.type == expected.type && arg.retries == expected.retries;
}

}  // namespace Quendal::Testing
