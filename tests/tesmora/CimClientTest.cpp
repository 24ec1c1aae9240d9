// The CIM client and the OS-information mapping against a scripted transport: each test states
// what the CIM server answers, in turn, then checks what the client sent, returned, threw and
// reported. Waits are recorded, never slept.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cim/Client.h"
#include "cim/OsInfo.h"
#include "cim/Xml.h"
#include "tesmora/NetworkBackend.h"

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using Tesmora::Cause;
using Tesmora::Severity;
using Tesmora::Net::HttpRequest;
using Tesmora::Net::HttpResponse;
using Tesmora::Net::TransportFailure;
namespace Cim = Tesmora::Cim;
namespace Xml = Tesmora::Cim::Xml;

constexpr const char* kEndpoint = "hv.example.test:5989";
constexpr const char* kUser = "cim-reader";
constexpr const char* kPassword = "Pw-4kx!Qz";
constexpr const char* kBasic = "Basic Y2ltLXJlYWRlcjpQdy00a3ghUXo=";  // kUser:kPassword

struct Reply {
    int status = 200;
    std::string body;
    std::string type = "application/xml; charset=\"utf-8\"";
    std::vector<Tesmora::Net::HttpHeader> headers;
    std::optional<TransportFailure> failure;
};

Reply Body(std::string body, std::string type = "application/xml; charset=\"utf-8\"") {
    Reply reply;
    reply.body = std::move(body);
    reply.type = std::move(type);
    return reply;
}

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
    return Body(Message(inner + "</IRETURNVALUE>"));
}
Reply CimError(int code, const std::string& description = "refused") {
    return Body(Message("<ERROR CODE=\"" + std::to_string(code) + "\" DESCRIPTION=\"" +
                        description + "\"/>"));
}
Reply Http(int status, std::vector<Tesmora::Net::HttpHeader> headers = {}) {
    Reply reply = Body("", "text/plain");
    reply.status = status;
    reply.headers = std::move(headers);
    return reply;
}
Reply Throws(TransportFailure failure) {
    Reply reply;
    reply.failure = failure;
    return reply;
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
        const Reply reply = replies_->front();
        replies_->pop_front();
        if (reply.failure) {
            throw Tesmora::Net::TransportError(*reply.failure, "scripted failure");
        }
        HttpResponse response{reply.status, reply.headers, reply.body};
        response.headers.push_back({"Content-Type", reply.type});
        return response;
    }

private:
    std::deque<Reply>* replies_;
    std::vector<HttpRequest>* sent_;
};

struct Rig {
    std::deque<Reply> replies;
    std::vector<HttpRequest> sent;
    std::vector<milliseconds> waits;
    std::vector<std::string> warnings;
    std::unique_ptr<Cim::Client> client;

    explicit Rig(std::vector<Reply> script, unsigned int retries = 2,
                 Tesmora::Net::Bounds bounds = {})
        : replies(script.begin(), script.end()) {
        Cim::Policy policy;
        policy.retries = retries;
        policy.bounds = std::move(bounds);
        policy.sleep = [this](milliseconds wait) { waits.push_back(wait); };
        client = std::make_unique<Cim::Client>(kEndpoint, Cim::Credentials{kUser, kPassword},
                                               std::make_unique<ScriptedTransport>(&replies, &sent),
                                               policy);
    }
    std::vector<Cim::Instance> Enumerate(const std::string& class_name = "CIM_SoftwareIdentity") {
        return client->EnumerateInstances(class_name, {"VersionString", "Classifications"});
    }
    Cim::Reporter Reporter() {
        return [this](Severity severity, Cause, const std::string& message) {
            EXPECT_EQ(severity, Severity::kWarning);
            warnings.push_back(message);
        };
    }
};

std::string HeaderOf(const HttpRequest& request, const std::string& name) {
    for (const auto& header : request.headers) {
        if (header.name == name) {
            return header.value;
        }
    }
    return "(absent)";
}

TEST(CimClient, EnumeratesWithOneCimXmlPost) {
    Rig rig({Instances({kDriver, Instance("QTS_X", Scalar("Caption", "a &amp; b") +
                                                       "<PROPERTY NAME=\"Null\" TYPE=\"string\"/>"
                                                       "<PROPERTY.REFERENCE NAME=\"Ref\"/>" +
                                                       Array("Empty", {}))})});
    const std::vector<Cim::Instance> found = rig.Enumerate();

    ASSERT_EQ(rig.sent.size(), 1u);
    const HttpRequest& request = rig.sent[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/cimom");
    EXPECT_EQ(HeaderOf(request, "CIMOperation"), "MethodCall");
    EXPECT_EQ(HeaderOf(request, "CIMMethod"), "EnumerateInstances");
    EXPECT_EQ(HeaderOf(request, "CIMObject"), "root%2Fcimv2");
    EXPECT_EQ(HeaderOf(request, "Authorization"), kBasic);
    EXPECT_EQ(HeaderOf(request, "Content-Type").rfind("application/xml", 0), 0u);
    const Xml::Element body = Xml::Parse(request.body);
    const Xml::Element* call = body.Child("MESSAGE")->Child("SIMPLEREQ")->Child("IMETHODCALL");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(*call->Attribute("NAME"), "EnumerateInstances");
    std::vector<std::string> path;
    for (const Xml::Element& name_space : call->Child("LOCALNAMESPACEPATH")->children) {
        path.push_back(*name_space.Attribute("NAME"));
    }
    EXPECT_EQ(path, (std::vector<std::string>{"root", "cimv2"}));
    std::string class_name, properties;
    for (const Xml::Element& parameter : call->children) {
        const std::string* name = parameter.Attribute("NAME");
        if (parameter.name != "IPARAMVALUE" || name == nullptr) {
            continue;
        }
        if (*name == "ClassName") {
            class_name = *parameter.Child("CLASSNAME")->Attribute("NAME");
        } else if (*name == "PropertyList") {
            for (const Xml::Element& value : parameter.Child("VALUE.ARRAY")->children) {
                properties += value.text + ";";
            }
        }
    }
    EXPECT_EQ(class_name, "CIM_SoftwareIdentity");
    EXPECT_EQ(properties, "VersionString;Classifications;");

    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].class_name, "QTS_SoftwareIdentity");
    EXPECT_EQ(found[0].Text("VersionString"), "5.5.1");
    ASSERT_NE(found[0].Find("Classifications"), nullptr);
    EXPECT_TRUE(found[0].Find("Classifications")->array);
    EXPECT_EQ(found[0].Find("Classifications")->values, std::vector<std::string>{"2"});
    EXPECT_EQ(found[0].Text("Classifications"), "");  // an array is no scalar
    EXPECT_EQ(found[1].Text("Caption"), "a & b");
    ASSERT_NE(found[1].Find("Null"), nullptr);
    EXPECT_TRUE(found[1].Find("Null")->values.empty());
    EXPECT_EQ(found[1].Find("Ref"), nullptr);
    ASSERT_NE(found[1].Find("Empty"), nullptr);
    EXPECT_TRUE(found[1].Find("Empty")->values.empty());
}

TEST(CimClient, FailuresBecomeCauses) {
    struct Case {
        const char* name;
        std::vector<Reply> script;
        Cause cause;
        const char* says;
        std::size_t requests;
        bool ends_client;  // later calls fail without asking again
    };
    const std::string large = Message(std::string("<IRETURNVALUE/>"));
    const std::vector<Case> cases = {
        {"401",
         {Http(401)},
         Cause::kAuthentication,
         "refused the user name or password (HTTP 401)",
         1,
         true},
        {"403", {Http(403)}, Cause::kAuthentication, "(HTTP 403)", 1, true},
        {"access denied",
         {CimError(2)},
         Cause::kAuthentication,
         "denies access to CIM_SoftwareIdentity (CIM_ERR_ACCESS_DENIED: refused)",
         1,
         true},
        {"no namespace",
         {CimError(3)},
         Cause::kMissingResource,
         "no namespace root/cimv2 (CIM_ERR_INVALID_NAMESPACE",
         1,
         false},
        {"no class",
         {CimError(5)},
         Cause::kMissingResource,
         "does not offer the instances of CIM_SoftwareIdentity (CIM_ERR_INVALID_CLASS",
         1,
         false},
        {"not supported",
         {CimError(7)},
         Cause::kMissingResource,
         "(CIM_ERR_NOT_SUPPORTED",
         1,
         false},
        {"failed",
         {CimError(1, "disk&#10;full")},
         Cause::kServiceError,
         "failed to enumerate CIM_SoftwareIdentity (CIM_ERR_FAILED: disk full)",
         1,
         false},
        {"unknown code", {CimError(42)}, Cause::kServiceError, "(CIM error 42: refused)", 1, false},
        {"keeps failing",
         {Http(500), Http(500), Http(503)},
         Cause::kServiceError,
         "failed to answer EnumerateInstances (HTTP 503, 3 attempts)",
         3,
         false},
        {"time-out",
         {Throws(TransportFailure::kTimedOut)},
         Cause::kTimeout,
         "no whole answer to EnumerateInstances in time",
         1,
         true},
        {"refused connection",
         {Throws(TransportFailure::kConnectFailed)},
         Cause::kUnreachable,
         "cannot connect",
         1,
         true},
        {"connection keeps breaking",
         {Throws(TransportFailure::kConnectionLost), Throws(TransportFailure::kConnectionLost),
          Throws(TransportFailure::kConnectionLost)},
         Cause::kUnreachable,
         "the connection broke while asking for EnumerateInstances",
         3,
         true},
        {"certificate",
         {Throws(TransportFailure::kCertificate)},
         Cause::kCertificate,
         "not trusted",
         1,
         true},
        {"too large",
         {Throws(TransportFailure::kTooLarge)},
         Cause::kBadAnswer,
         "larger than allowed",
         1,
         false},
        {"redirect",
         {Http(302, {{"Location", "https://elsewhere.test/cimom"}})},
         Cause::kRedirect,
         "redirects to https://elsewhere.test/cimom, which is not followed",
         1,
         true},
        {"refused request",
         {Http(400, {{"CIMError", "unsupported-operation"}})},
         Cause::kWrongService,
         "(HTTP 400, CIMError: unsupported-operation)",
         1,
         true},
        {"web page",
         {Body("<html></html>", "text/html")},
         Cause::kWrongService,
         "(the answer is text/html, not CIM-XML)",
         1,
         true},
        {"not well-formed",
         {Body(large.substr(0, large.size() / 2))},
         Cause::kBadAnswer,
         "is not acceptable XML",
         1,
         false},
        {"entity declaration",
         {Body("<!DOCTYPE CIM [<!ENTITY a \"b\">]>" + Message("<IRETURNVALUE/>"))},
         Cause::kBadAnswer,
         "document type or entity declaration, which is refused",
         1,
         false},
        {"another method's answer",
         {Body(Message("<IRETURNVALUE/>", "GetInstance"))},
         Cause::kBadAnswer,
         "is not a CIM-XML answer to that request",
         1,
         false},
        {"not an instance",
         {Body(Message("<IRETURNVALUE><CLASSNAME/></IRETURNVALUE>"))},
         Cause::kBadAnswer,
         "holds <CLASSNAME>, not an instance",
         1,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.script);
        try {
            rig.Enumerate();
            ADD_FAILURE() << "no error";
        } catch (const Cim::Error& error) {
            EXPECT_EQ(error.cause(), c.cause);
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
            EXPECT_EQ((std::string(error.what()) + error.hint()).find(kPassword),
                      std::string::npos);
        }
        EXPECT_EQ(rig.sent.size(), c.requests);
        rig.replies.push_back(Instances({}));
        if (c.ends_client) {
            EXPECT_THROW(rig.Enumerate(), Cim::Error);
            EXPECT_EQ(rig.sent.size(), c.requests);
        } else {
            EXPECT_NO_THROW(rig.Enumerate());
            EXPECT_EQ(rig.sent.size(), c.requests + 1);
        }
    }
}

TEST(CimClient, RetriesPassingTroubleWithAGrowingBackoff) {
    struct Case {
        const char* name;
        std::vector<Reply> script;
        unsigned int retries;
        std::vector<milliseconds> waits;
        bool answers;
        Tesmora::Net::Bounds bounds = {};
    };
    const auto soon = [](milliseconds left) {
        return Tesmora::Net::Bounds{std::chrono::steady_clock::now() + left, nullptr, nullptr};
    };
    const Tesmora::Net::Bounds cancelled{std::nullopt, [] { return true; }, nullptr};
    const std::vector<Case> cases = {
        {"500 once", {Http(500), Instances({kDriver})}, 2, {500ms}, true},
        {"429 twice", {Http(429), Http(429), Instances({kDriver})}, 2, {500ms, 1000ms}, true},
        {"connection lost",
         {Throws(TransportFailure::kConnectionLost), Instances({kDriver})},
         2,
         {500ms},
         true},
        {"cut short",
         {Throws(TransportFailure::kTruncated), Instances({kDriver})},
         2,
         {500ms},
         true},
        {"no retries", {Http(500)}, 0, {}, false},
        {"time-outs are not retried", {Throws(TransportFailure::kTimedOut)}, 2, {}, false},
        // The endpoint's time and the caller's cancellation bound the attempts and the waits.
        {"cancelled: nothing is sent", {}, 2, {}, false, cancelled},
        {"back-off past the deadline", {Http(500)}, 2, {}, false, soon(200ms)},
        {"within the deadline", {Http(500), Instances({kDriver})}, 2, {500ms}, true, soon(60s)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.script, c.retries, c.bounds);
        if (c.answers) {
            EXPECT_EQ(rig.Enumerate().size(), 1u);
        } else {
            EXPECT_THROW(rig.Enumerate(), Cim::Error);
        }
        EXPECT_EQ(rig.waits, c.waits);
        EXPECT_TRUE(rig.replies.empty());
        EXPECT_EQ(rig.sent.size(), c.script.size());
        // No request is given longer than what is left of the endpoint's time.
        for (const HttpRequest& request : rig.sent) {
            EXPECT_LE(request.timeout, c.bounds.deadline ? 60s : 30s);
            EXPECT_GT(request.timeout, 0ms);
        }
    }
}

TEST(CimOsInfo, TheOperatingSystemsIdentityAndTheWidestProcessorGiveTheRecord) {
    const std::string os = "QTS_HypervisorSoftwareIdentity";
    struct Case {
        const char* name;
        std::vector<std::string> identities;
        std::vector<std::string> processors;
        std::string version;
        std::string build;
        int architecture;
        std::size_t warnings;
    };
    const std::vector<Case> cases = {
        {"picked by classification",
         {kDriver, kHypervisor},
         {kProcessor64, kProcessor64},
         "6.7.0",
         "1000067",
         1,
         0},
        {"8 among other classifications",
         {Instance(os, Array("Classifications", {"10", "8"}) + Scalar("VersionString", "5.1.0") +
                           Scalar("BuildNumber", "321"))},
         {kProcessor64},
         "5.1.0",
         "321",
         1,
         0},
        {"small build unless told otherwise",
         {Instance(os, Array("Classifications", {"8"}) + Scalar("VersionString", "6.0.0") +
                           Scalar("BuildNumber", "77") + Scalar("LargeBuildNumber", "1000060") +
                           Scalar("IsLargeBuildNumber", "false"))},
         {kProcessor64},
         "6.0.0",
         "77",
         1,
         0},
        {"only the large build",
         {Instance(os, Array("Classifications", {"8"}) + Scalar("VersionString", "6.0.0") +
                           Scalar("LargeBuildNumber", "1000060"))},
         {kProcessor64},
         "6.0.0",
         "1000060",
         1,
         0},
        {"version from its numbers",
         {Instance(os, Array("Classifications", {"8"}) + Scalar("MajorVersion", "5") +
                           Scalar("MinorVersion", "5"))},
         {kProcessor64},
         "5.5.0",
         "",
         1,
         0},
        {"32-bit processors",
         {kHypervisor},
         {Instance("QTS_Processor", Scalar("AddressWidth", "32"))},
         "6.7.0",
         "1000067",
         0,
         0},
        {"one 64-bit processor among 32-bit ones",
         {kHypervisor},
         {Instance("QTS_Processor", Scalar("AddressWidth", "32")), kProcessor64},
         "6.7.0",
         "1000067",
         1,
         0},
        {"no processor tells its width",
         {kHypervisor},
         {Instance("QTS_Processor", Scalar("AddressWidth", "wide")),
          Instance("QTS_Processor", Scalar("DeviceID", "CPU1"))},
         "6.7.0",
         "1000067",
         0,
         1},
        {"no processors", {kHypervisor}, {}, "6.7.0", "1000067", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig identities({Instances(c.identities), Instances(c.processors)});
        const Tesmora::OSINFO info = Cim::ReadOsInfo(*identities.client, identities.Reporter());
        EXPECT_EQ(info.version, c.version);
        EXPECT_EQ(info.build, c.build);
        EXPECT_EQ(info.architecture, c.architecture);
        EXPECT_EQ(identities.warnings.size(), c.warnings);
    }
}

TEST(CimOsInfo, FailsWithoutAnOperatingSystemVersion) {
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
        {"no namespace", {CimError(3)}, Cause::kMissingResource, "CIM_ERR_INVALID_NAMESPACE", 1},
        {"processors refused",
         {Instances({kHypervisor}), Http(401)},
         Cause::kAuthentication,
         "HTTP 401",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.script);
        try {
            Cim::ReadOsInfo(*rig.client, rig.Reporter());
            ADD_FAILURE() << "no error";
        } catch (const Cim::Error& error) {
            EXPECT_EQ(error.cause(), c.cause);
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
        }
        EXPECT_EQ(rig.sent.size(), c.requests);
    }
}

// A server without the processor class still tells the version; the user learns why the
// architecture is a guess.
TEST(CimOsInfo, AMissingProcessorClassIsAWarning) {
    Rig rig({Instances({kHypervisor}), CimError(5, "no class CIM_Processor")});
    const Tesmora::OSINFO info = Cim::ReadOsInfo(*rig.client, rig.Reporter());
    EXPECT_EQ(info.version, "6.7.0");
    EXPECT_EQ(info.architecture, 0);
    ASSERT_EQ(rig.warnings.size(), 2u);
    EXPECT_NE(rig.warnings[0].find("CIM_ERR_INVALID_CLASS"), std::string::npos);
    EXPECT_NE(rig.warnings[1].find("taken as 32-bit"), std::string::npos);
}

// The backend's own rules, before any CIM server answers: port 0 is the CIM server's port, plain
// HTTP is refused, and each failure reaches the diagnostics with its library result.
TEST(CimBackend, PortAndSchemeRulesAndTheirCauses) {
    using Tesmora::osinfo;
    struct Case {
        const char* name;
        Tesmora::OsInfoEndpoint endpoint;
        osinfo::OSINFORETURNCODE result;
        Cause cause;
        const char* endpoint_told;
        const char* says;
    };
    // Nothing listens on the loopback's CIM port here, as in the tool's cases.
    const std::vector<Case> cases = {
        {"port 0",
         {"127.0.0.1", kUser, kPassword, 0, osinfo::CIM_HTTPS},
         osinfo::OSINFO_CONNECTION_FAILED,
         Cause::kUnreachable,
         "127.0.0.1:5989",
         "cannot connect"},
        {"plain HTTP",
         {"127.0.0.1", kUser, kPassword, 5988, osinfo::CIM_HTTP},
         osinfo::OSINFO_CONNECTION_FAILED,
         Cause::kTls,
         "127.0.0.1:5988",
         "CIM over plain HTTP is refused"},
        {"no host",
         {"", kUser, kPassword, 0, osinfo::CIM_HTTPS},
         osinfo::OSINFO_CONNECTION_FAILED,
         Cause::kUnreachable,
         ":5989",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto log = std::make_shared<Tesmora::DiagnosticLog>();
        Tesmora::NetworkOptions options;
        options.retries = 0;
        options.diagnostics = log;
        Tesmora::NetworkBackend backend(options);
        Tesmora::OSINFO info;
        info.version = "untouched";
        EXPECT_EQ(backend.OsInfoGetVersion(c.endpoint, info), c.result);
        EXPECT_EQ(info.version, "untouched");
        const std::vector<Tesmora::Diagnostic> reports = log->Reports();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].severity, Severity::kError);
        EXPECT_EQ(reports[0].cause, c.cause);
        EXPECT_EQ(reports[0].endpoint, c.endpoint_told);
        EXPECT_NE(reports[0].message.find(c.says), std::string::npos) << reports[0].message;
        EXPECT_EQ(Tesmora::Describe(reports[0]).find(kPassword), std::string::npos);
    }
}

}  // namespace
