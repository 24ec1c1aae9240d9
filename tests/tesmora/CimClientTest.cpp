// How the OS-information record is picked from the instances a CIM server enumerates: the cases
// the test CIM server's fixtures do not hold (tests/cim/tool_cases.py covers the client's
// requests, the CIM-XML it reads, faults and retries through the tool).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "cim/OsInfo.h"

namespace {

namespace Cim = Tesmora::Cim;
using Scalars = std::map<std::string, std::string>;

Cim::Instance Of(const std::string& class_name, const Scalars& scalars,
                 const std::vector<std::string>& classifications = {}) {
    Cim::Instance instance{class_name, {}};
    for (const auto& [name, value] : scalars) {
        instance.properties[name] = Cim::Property{"string", false, {value}};
    }
    if (!classifications.empty()) {
        instance.properties["Classifications"] = Cim::Property{"uint16", true, classifications};
    }
    return instance;
}

Cim::Instance Os(const Scalars& scalars, const std::vector<std::string>& classifications = {"8"}) {
    return Of("QTS_HypervisorSoftwareIdentity", scalars, classifications);
}

Cim::Instance Processor(const std::string& width) {
    return Of("QTS_Processor", {{"AddressWidth", width}});
}

// The version and the architecture are never guessed: without them the record fails.
TEST(CimOsInfo, TheOperatingSystemsIdentityAndTheWidestProcessorGiveTheRecord) {
    const Cim::Instance driver = Of("QTS_SoftwareIdentity", {{"VersionString", "5.5.1"}}, {"2"});
    const Cim::Instance hypervisor = Os({{"VersionString", "6.7.0"},
                                         {"BuildNumber", "0"},
                                         {"LargeBuildNumber", "1000067"},
                                         {"IsLargeBuildNumber", "TRUE"}});
    const Cim::Instance wide = Processor("64"), narrow = Processor("32");
    const struct {
        const char* name;
        std::vector<Cim::Instance> identities;
        std::vector<Cim::Instance> processors;
        std::string record;  // version|build|architecture, or what the error says
    } rows[] = {
        {"picked by classification", {driver, hypervisor}, {wide, wide}, "6.7.0|1000067|1"},
        {"8 among other classifications",
         {Os({{"VersionString", "5.1.0"}, {"BuildNumber", "321"}}, {"10", "8"})},
         {wide},
         "5.1.0|321|1"},
        {"small build unless told otherwise",
         {Os({{"VersionString", "6.0.0"},
              {"BuildNumber", "77"},
              {"LargeBuildNumber", "1000060"},
              {"IsLargeBuildNumber", "false"}})},
         {wide},
         "6.0.0|77|1"},
        {"version from its numbers",
         {Os({{"MajorVersion", "5"}, {"MinorVersion", "5"}})},
         {wide},
         "5.5.0||1"},
        {"one 64-bit processor among 32-bit ones", {hypervisor}, {narrow, wide}, "6.7.0|1000067|1"},
        {"no operating system",
         {driver, driver},
         {wide},
         "none of the 2 instances of CIM_SoftwareIdentity is an operating system's"},
        {"no version",
         {Os({{"VersionString", ""}})},
         {wide},
         "(QTS_HypervisorSoftwareIdentity) holds no version"},
        {"no processor tells its width",
         {hypervisor},
         {Processor("wide"), Of("QTS_Processor", {{"DeviceID", "CPU1"}})},
         "none of the 2 instances of CIM_Processor tells its AddressWidth, so the host's "
         "architecture is not known"},
    };
    for (const auto& row : rows) {
        std::string record;
        try {
            const Tesmora::OSINFO info = Cim::OsInfoFrom(row.identities, row.processors);
            record = info.version + "|" + info.build + "|" + std::to_string(info.architecture);
        } catch (const Cim::Error& error) {
            EXPECT_EQ(error.cause(), Tesmora::Cause::kMissingResource) << row.name;
            record = error.what();
        }
        EXPECT_NE(record.find(row.record), std::string::npos) << row.name << ": " << record;
    }
}

}  // namespace
