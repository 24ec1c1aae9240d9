// How the OS-information mapping picks its record from what a CIM server answers, through a
// scripted transport: the cases the test CIM server's fixtures do not hold (tests/cim covers the
// client's requests, faults and retries through the tool).
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "cim/Client.h"
#include "cim/OsInfo.h"

namespace {

using Tesmora::Cause;
using Tesmora::Net::HttpRequest;
using Tesmora::Net::HttpResponse;
namespace Cim = Tesmora::Cim;

constexpr const char* kEndpoint = "hv.example.test:5989";
constexpr const char* kUser = "cim-reader";
constexpr const char* kPassword = "Pw-4kx!Qz";

struct Reply {
    std::string body;
};

std::string Message(const std::string& inner, const std::string& method = "EnumerateInstances") {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<CIM CIMVERSION=\"2.0\" "
           "DTDVERSION=\"2.0\"><MESSAGE ID=\"1\" PROTOCOLVERSION=\"1.0\"><SIMPLERSP>"
           "<IMETHODRESPONSE NAME=\"" +
           method + "\">" + inner + "</IMETHODRESPONSE></SIMPLERSP></MESSAGE></CIM>\n";
}
std::string Scalar(const std::string& name, const std::string& value,
                   const std::string& type = "string") {
    return "<PROPERTY NAME=\"" + name + "\" TYPE=\"" + type + "\"><VALUE>" + value +
           "</VALUE></PROPERTY>";
}
std::string Array(const std::string& name, const std::vector<std::string>& values) {
    std::string xml = "<PROPERTY.ARRAY NAME=\"" + name + "\" TYPE=\"uint16\"><VALUE.ARRAY>";
    for (const std::string& value : values) {
        xml += "<VALUE>" + value + "</VALUE>";
    }
    return xml + "</VALUE.ARRAY></PROPERTY.ARRAY>";
}
std::string Instance(const std::string& class_name, const std::string& properties) {
    return "<VALUE.NAMEDINSTANCE><INSTANCENAME CLASSNAME=\"" + class_name +
           "\"/><INSTANCE CLASSNAME=\"" + class_name + "\">" + properties +
           "</INSTANCE></VALUE.NAMEDINSTANCE>";
}
Reply Instances(const std::vector<std::string>& instances) {
    std::string inner = "<IRETURNVALUE>";
    for (const std::string& instance : instances) {
        inner += instance;
    }
    return Reply{Message(inner + "</IRETURNVALUE>")};
}
// The hypervisor's identity among others, and two processors: what a host usually answers.
const std::string kDriver = Instance(
    "QTS_SoftwareIdentity", Array("Classifications", {"2"}) + Scalar("VersionString", "5.5.1"));
const std::string kHypervisor = Instance(
    "QTS_HypervisorSoftwareIdentity",
    Array("Classifications", {"8"}) + Scalar("VersionString", "6.7.0") +
        Scalar("BuildNumber", "0", "uint16") + Scalar("LargeBuildNumber", "1000067", "uint64") +
        Scalar("IsLargeBuildNumber", "TRUE", "boolean"));
const std::string kProcessor64 = Instance("QTS_Processor", Scalar("AddressWidth", "64", "uint16"));

class ScriptedTransport : public Tesmora::Net::Transport {
public:
    ScriptedTransport(std::deque<Reply>* replies, std::vector<HttpRequest>* sent)
        : replies_(replies), sent_(sent) {}
    HttpResponse Send(const HttpRequest& request) override {
        sent_->push_back(request);
        if (replies_->empty()) {
            ADD_FAILURE() << "unscripted request " << request.body;
            return HttpResponse{500, {}, std::string()};
        }
        HttpResponse response{200, {}, replies_->front().body};
        replies_->pop_front();
        response.headers.push_back({"Content-Type", "application/xml; charset=\"utf-8\""});
        return response;
    }

private:
    std::deque<Reply>* replies_;
    std::vector<HttpRequest>* sent_;
};

struct Rig {
    std::deque<Reply> replies;
    std::vector<HttpRequest> sent;
    std::unique_ptr<Cim::Client> client;

    explicit Rig(std::vector<Reply> script) : replies(script.begin(), script.end()) {
        Cim::Policy policy;
        policy.retries = 0;
        policy.sleep = [](std::chrono::milliseconds) {};
        client = std::make_unique<Cim::Client>(kEndpoint, Cim::Credentials{kUser, kPassword},
                                               std::make_unique<ScriptedTransport>(&replies, &sent),
                                               policy);
    }
};

TEST(CimOsInfo, TheOperatingSystemsIdentityAndTheWidestProcessorGiveTheRecord) {
    const std::string os = "QTS_HypervisorSoftwareIdentity";
    struct Case {
        const char* name;
        std::vector<std::string> identities;
        std::vector<std::string> processors;
        std::string version;
        std::string build;
        int architecture;
    };
    const std::vector<Case> cases = {
        {"picked by classification",
         {kDriver, kHypervisor},
         {kProcessor64, kProcessor64},
         "6.7.0",
         "1000067",
         1},
        {"8 among other classifications",
         {Instance(os, Array("Classifications", {"10", "8"}) + Scalar("VersionString", "5.1.0") +
                           Scalar("BuildNumber", "321"))},
         {kProcessor64},
         "5.1.0",
         "321",
         1},
        {"small build unless told otherwise",
         {Instance(os, Array("Classifications", {"8"}) + Scalar("VersionString", "6.0.0") +
                           Scalar("BuildNumber", "77") + Scalar("LargeBuildNumber", "1000060") +
                           Scalar("IsLargeBuildNumber", "false"))},
         {kProcessor64},
         "6.0.0",
         "77",
         1},
        {"only the large build",
         {Instance(os, Array("Classifications", {"8"}) + Scalar("VersionString", "6.0.0") +
                           Scalar("LargeBuildNumber", "1000060"))},
         {kProcessor64},
         "6.0.0",
         "1000060",
         1},
        {"version from its numbers",
         {Instance(os, Array("Classifications", {"8"}) + Scalar("MajorVersion", "5") +
                           Scalar("MinorVersion", "5"))},
         {kProcessor64},
         "5.5.0",
         "",
         1},
        {"32-bit processors",
         {kHypervisor},
         {Instance("QTS_Processor", Scalar("AddressWidth", "32"))},
         "6.7.0",
         "1000067",
         0},
        {"one 64-bit processor among 32-bit ones",
         {kHypervisor},
         {Instance("QTS_Processor", Scalar("AddressWidth", "32")), kProcessor64},
         "6.7.0",
         "1000067",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig identities({Instances(c.identities), Instances(c.processors)});
        const Tesmora::OSINFO info = Cim::ReadOsInfo(*identities.client);
        EXPECT_EQ(info.version, c.version);
        EXPECT_EQ(info.build, c.build);
        EXPECT_EQ(info.architecture, c.architecture);
    }
}

// The version and the architecture are never guessed.
TEST(CimOsInfo, FailsWithoutAVersionOrAnArchitecture) {
    struct Case {
        const char* name;
        std::vector<Reply> script;
        Cause cause;
        const char* says;
        std::size_t requests;
    };
    const std::vector<Case> cases = {
        {"no operating system",
         {Instances({kDriver, kDriver}), Instances({kProcessor64})},
         Cause::kMissingResource,
         "none of the 2 instances of CIM_SoftwareIdentity is an operating system's",
         2},
        {"no version",
         {Instances({Instance("QTS_HypervisorSoftwareIdentity",
                              Array("Classifications", {"8"}) + Scalar("VersionString", ""))}),
          Instances({kProcessor64})},
         Cause::kMissingResource,
         "(QTS_HypervisorSoftwareIdentity) holds no version",
         2},
        {"no processor tells its width",
         {Instances({kHypervisor}),
          Instances({Instance("QTS_Processor", Scalar("AddressWidth", "wide")),
                     Instance("QTS_Processor", Scalar("DeviceID", "CPU1"))})},
         Cause::kMissingResource,
         "none of the 2 instances of CIM_Processor tells its AddressWidth, so the host's "
         "architecture is not known",
         2},
        {"no processors",
         {Instances({kHypervisor}), Instances({})},
         Cause::kMissingResource,
         "none of the 0 instances",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.script);
        try {
            Cim::ReadOsInfo(*rig.client);
            ADD_FAILURE() << "no error";
        } catch (const Cim::Error& error) {
            EXPECT_EQ(error.cause(), c.cause);
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
        }
        EXPECT_EQ(rig.sent.size(), c.requests);
    }
}

}  // namespace
