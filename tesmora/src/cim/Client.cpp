#include "cim/Client.h"

#include <algorithm>
#include <thread>

#include "cim/Xml.h"
#include "tesmora/Log.h"

namespace Tesmora::Cim {

namespace {

using Net::TransportFailure;

constexpr const char* kTarget = "/cimom";
constexpr std::size_t kLongestDescription = 200;

// A text from the server, made fit for a one-line message.
std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text.substr(0, kLongestDescription)) {
        line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
    return text.size() > kLongestDescription ? line + "..." : line;
}

// The standard's name of a status code, or the code as the server gave it.
std::string StatusName(long code, const std::string& given) {
    static const char* const kNames[] = {"CIM_ERR_FAILED",
                                         "CIM_ERR_ACCESS_DENIED",
                                         "CIM_ERR_INVALID_NAMESPACE",
                                         "CIM_ERR_INVALID_PARAMETER",
                                         "CIM_ERR_INVALID_CLASS",
                                         "CIM_ERR_NOT_FOUND",
                                         "CIM_ERR_NOT_SUPPORTED"};
    if (code >= kCimErrFailed && code <= kCimErrNotSupported) {
        return kNames[code - 1];
    }
    return "CIM error " + OneLine(given.substr(0, 24));
}

// The Error an ERROR element of an answer stands for.
Error CimError(const Xml::Element& error, const std::string& class_name) {
    const std::string* code_text = error.Attribute("CODE");
    long code = 0;
    if (code_text != nullptr && !code_text->empty() && code_text->size() < 6 &&
        std::all_of(code_text->begin(), code_text->end(),
                    [](char c) { return c >= '0' && c <= '9'; })) {
        code = std::stol(*code_text);
    }
    const std::string* description = error.Attribute("DESCRIPTION");
    const std::string said =
        StatusName(code, code_text ? *code_text : std::string("without a code")) +
        (description && !description->empty() ? ": " + OneLine(*description) : std::string());
    switch (code) {
        case kCimErrAccessDenied:
            return Error(Cause::kAuthentication,
                         "the CIM server denies access to " + class_name + " (" + said + ")",
                         "check --user, and that this user may read the host's CIM data");
        case kCimErrInvalidNamespace:
            return Error(Cause::kMissingResource,
                         "the CIM server has no namespace root/cimv2 (" + said + ")",
                         "check --host and the port: this is not the host's CIM server");
        case kCimErrInvalidClass:
        case kCimErrNotSupported:
            return Error(
                Cause::kMissingResource,
                "the CIM server does not offer the instances of " + class_name + " (" + said + ")");
        default:
            return Error(Cause::kServiceError,
                         "the CIM server failed to enumerate " + class_name + " (" + said + ")");
    }
}

Instance InstanceFrom(const Xml::Element& element) {
    Instance instance;
    if (const std::string* name = element.Attribute("CLASSNAME")) {
        instance.class_name = *name;
    }
    for (const Xml::Element& child : element.children) {
        const std::string* name = child.Attribute("NAME");
        if (name == nullptr) {
            continue;
        }
        Property property;
        if (const std::string* type = child.Attribute("TYPE")) {
            property.type = *type;
        }
        if (child.name == "PROPERTY") {
            if (const Xml::Element* value = child.Child("VALUE")) {
                property.values.push_back(value->text);
            }
        } else if (child.name == "PROPERTY.ARRAY") {
            property.array = true;
            if (const Xml::Element* array = child.Child("VALUE.ARRAY")) {
                for (const Xml::Element& value : array->children) {
                    if (value.name == "VALUE") {
                        property.values.push_back(value.text);
                    }
                }
            }
        } else {
            continue;  // references and embedded objects say nothing this client reads
        }
        instance.properties[*name] = std::move(property);
    }
    return instance;
}

}  // namespace

const Property* Instance::Find(const std::string& name) const {
    const auto found = properties.find(name);
    return found == properties.end() ? nullptr : &found->second;
}

std::string Instance::Text(const std::string& name) const {
    const Property* property = Find(name);
    return property == nullptr || property->array || property->values.empty()
               ? std::string()
               : property->values.front();
}

std::string EscapeXml(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '&':
                escaped += "&amp;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string EnumerateInstancesRequest(const std::string& name_space, const std::string& class_name,
                                      const std::vector<std::string>& properties,
                                      unsigned long message_id) {
    std::string body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<CIM CIMVERSION=\"2.0\" DTDVERSION=\"2.0\">"
        "<MESSAGE ID=\"" +
        std::to_string(message_id) +
        "\" PROTOCOLVERSION=\"1.0\"><SIMPLEREQ>"
        "<IMETHODCALL NAME=\"EnumerateInstances\"><LOCALNAMESPACEPATH>";
    std::size_t from = 0;
    for (;;) {
        const std::size_t slash = name_space.find('/', from);
        body += "<NAMESPACE NAME=\"" + EscapeXml(name_space.substr(from, slash - from)) + "\"/>";
        if (slash == std::string::npos) {
            break;
        }
        from = slash + 1;
    }
    body +=
        "</LOCALNAMESPACEPATH>"
        "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"" +
        EscapeXml(class_name) +
        "\"/></IPARAMVALUE>"
        // Every listed property, whether the class itself, an ancestor or a subclass defines
        // it; qualifiers and class origins are of no use here and only make the answer larger.
        "<IPARAMVALUE NAME=\"DeepInheritance\"><VALUE>TRUE</VALUE></IPARAMVALUE>"
        "<IPARAMVALUE NAME=\"LocalOnly\"><VALUE>FALSE</VALUE></IPARAMVALUE>"
        "<IPARAMVALUE NAME=\"IncludeQualifiers\"><VALUE>FALSE</VALUE></IPARAMVALUE>"
        "<IPARAMVALUE NAME=\"IncludeClassOrigin\"><VALUE>FALSE</VALUE></IPARAMVALUE>";
    if (!properties.empty()) {
        body += "<IPARAMVALUE NAME=\"PropertyList\"><VALUE.ARRAY>";
        for (const std::string& property : properties) {
            body += "<VALUE>" + EscapeXml(property) + "</VALUE>";
        }
        body += "</VALUE.ARRAY></IPARAMVALUE>";
    }
    return body + "</IMETHODCALL></SIMPLEREQ></MESSAGE></CIM>\n";
}

std::vector<Instance> ReadEnumerateInstancesAnswer(const std::string& body,
                                                   const std::string& class_name) {
    const std::string what = "the answer to EnumerateInstances of " + class_name;
    Xml::Element root;
    try {
        root = Xml::Parse(body);
    } catch (const Xml::ParseError& error) {
        throw Error(Cause::kBadAnswer, what + " is not acceptable XML: " + error.what());
    }
    const Xml::Element* response = nullptr;
    if (root.name == "CIM") {
        if (const Xml::Element* message = root.Child("MESSAGE")) {
            if (const Xml::Element* simple = message->Child("SIMPLERSP")) {
                response = simple->Child("IMETHODRESPONSE");
            }
        }
    }
    const std::string* method = response ? response->Attribute("NAME") : nullptr;
    if (method == nullptr || *method != "EnumerateInstances") {
        throw Error(Cause::kBadAnswer, what + " is not a CIM-XML answer to that request");
    }
    if (const Xml::Element* error = response->Child("ERROR")) {
        throw CimError(*error, class_name);
    }
    std::vector<Instance> instances;
    const Xml::Element* values = response->Child("IRETURNVALUE");
    if (values == nullptr) {
        return instances;
    }
    for (const Xml::Element& named : values->children) {
        const Xml::Element* instance = named.name == "INSTANCE" ? &named : named.Child("INSTANCE");
        if (instance == nullptr) {
            throw Error(Cause::kBadAnswer, what + " holds <" + named.name + ">, not an instance");
        }
        instances.push_back(InstanceFrom(*instance));
    }
    return instances;
}

Client::Client(std::string endpoint, Credentials credentials,
               std::unique_ptr<Net::Transport> transport, Policy policy, std::string name_space)
    : endpoint_(std::move(endpoint)),
      credentials_(std::move(credentials)),
      transport_(std::move(transport)),
      policy_(std::move(policy)),
      name_space_(std::move(name_space)) {
    if (!policy_.sleep) {
        policy_.sleep = Net::CancellableSleep(policy_.bounds.cancelled);
    }
}

void Client::Fail(const Error& error) {
    if (Net::EndsClient(error.cause())) {
        failed_ = error;
    }
    throw error;
}

std::string Client::Exchange(const std::string& method, const std::string& body) {
    // The namespace goes into CIMObject URI-escaped: "root/cimv2" is "root%2Fcimv2".
    std::string object;
    for (const char c : name_space_) {
        object += c == '/' ? std::string("%2F") : std::string(1, c);
    }
    Net::HttpRequest request{"POST",
                             kTarget,
                             {{"Content-Type", "application/xml; charset=\"utf-8\""},
                              {"Accept", "application/xml, text/xml"},
                              {"CIMProtocolVersion", "1.0"},
                              {"CIMOperation", "MethodCall"},
                              {"CIMMethod", method},
                              {"CIMObject", object},
                              {"Authorization", Redfish::BasicAuthorization(credentials_)}},
                             body};
    // A wait that would outlast the deadline fails now rather than after the wait.
    const auto check = [&](std::chrono::milliseconds wait) {
        if (std::optional<Error> exceeded = policy_.bounds.Exceeded(method, wait)) {
            Fail(*exceeded);
        }
    };
    for (unsigned int attempt = 0;; ++attempt) {
        const auto backoff = policy_.first_backoff * (1 << std::min(attempt, 4u));
        check(std::chrono::milliseconds(0));
        request.timeout = policy_.bounds.RequestLimit(policy_.timeout);
        Net::HttpResponse response;
        try {
            response = transport_->Send(request);
        } catch (const Net::TransportError& error) {
            // Enumerations change nothing on the server, so sending one again is harmless.
            if (Net::Retryable(error.failure()) && attempt < policy_.retries) {
                check(backoff);
                policy_.sleep(backoff);
                continue;
            }
            if (error.failure() == TransportFailure::kTimedOut &&
                request.timeout < policy_.timeout) {
                Fail(Net::EndpointTimeOut(method));  // the endpoint's time, not --timeout
            }
            Fail(Net::ErrorOf(error, endpoint_, method, "CIM server"));
        }
        const int status = response.status;
        TS_LOG(4) << "POST " << kTarget << " " << method << " -> " << status << " ("
                  << response.body.size() << " bytes)";
        if ((status >= 500 || status == 429) && attempt < policy_.retries) {
            check(backoff);
            policy_.sleep(backoff);
            continue;
        }
        if (status == 401 || status == 403) {
            Fail(Error(Cause::kAuthentication,
                       "refused the user name or password (HTTP " + std::to_string(status) + ")",
                       "check --user and the password"));
        }
        if (status >= 500 || status == 429) {
            Fail(Error(Cause::kServiceError, "the CIM server failed to answer " + method +
                                                 " (HTTP " + std::to_string(status) + ", " +
                                                 std::to_string(attempt + 1) + " attempts)"));
        }
        if (status >= 300 && status < 400) {
            const std::string* location = response.Header("Location");
            Fail(Error(Cause::kRedirect,
                       "the CIM server redirects to " +
                           (location ? OneLine(*location) : std::string("nowhere")) +
                           ", which is not followed",
                       "give the CIM server's own address as --host"));
        }
        if (status != 200) {
            // A server that refuses the request itself says why in the CIMError header.
            const std::string* why = response.Header("CIMError");
            Fail(Error(Cause::kWrongService,
                       "no CIM server answers at https://" + endpoint_ + kTarget + " (HTTP " +
                           std::to_string(status) +
                           (why ? ", CIMError: " + OneLine(*why) : std::string()) + ")",
                       "check --host and the port; CIM servers listen on 5989"));
        }
        const std::string* type = response.Header("Content-Type");
        if (type == nullptr || type->find("xml") == std::string::npos) {
            Fail(Error(Cause::kWrongService,
                       "no CIM server answers at https://" + endpoint_ + kTarget +
                           " (the answer is " + (type ? OneLine(*type) : std::string("untyped")) +
                           ", not CIM-XML)",
                       "check --host and the port; CIM servers listen on 5989"));
        }
        return std::move(response.body);
    }
}

std::vector<Instance> Client::EnumerateInstances(const std::string& class_name,
                                                 const std::vector<std::string>& properties) {
    if (failed_) {
        throw *failed_;
    }
    const std::string body =
        Exchange("EnumerateInstances",
                 EnumerateInstancesRequest(name_space_, class_name, properties, ++message_id_));
    try {
        return ReadEnumerateInstancesAnswer(body, class_name);
    } catch (const Error& error) {
        Fail(error);
    }
}

}  // namespace Tesmora::Cim
