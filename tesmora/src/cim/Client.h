// A WBEM client for one CIM server: CIM operations over HTTPS, encoded as CIM-XML.
//
// Each operation is one POST to /cimom with HTTP Basic credentials; the server keeps no session,
// so there is nothing to log in to or out of. Requests are read-only and are retried after a
// lost connection, a refused TLS handshake, a body cut short, or an HTTP 5xx/429 answer, after a
// growing back-off. A redirect is never followed: CIM servers have no reason to send one.
//
// Bounds. The Policy's deadline and cancellation are checked before each request and each wait,
// and no request is given longer than what is left of the deadline: once either has struck,
// operations fail at once with Cause::kTimeout and end the client.
//
// Failures throw Net::Error (transport/Failure.h), the network libraries' common error with its
// cause and hint.
// Some end the client for good (refused credentials, no connection, a time-out, a certificate):
// later operations throw the same Error without touching the network. Others concern one
// request (an unknown class, an unreadable answer) and leave the client usable.
//
// Threads: one thread at a time; Mutex() is there for callers that share a client. The password
// goes into the Authorization header only: no Error or log line holds it.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "redfish/Client.h"
#include "transport/Failure.h"
#include "transport/Transport.h"

namespace Tesmora::Cim {

using Error = Net::Error;
using Credentials = Redfish::Credentials;

// The CIM status codes a client tells apart (DSP0200's CIM_ERR_*).
enum CimStatus {
    kCimErrFailed = 1,
    kCimErrAccessDenied = 2,
    kCimErrInvalidNamespace = 3,
    kCimErrInvalidParameter = 4,
    kCimErrInvalidClass = 5,
    kCimErrNotFound = 6,
    kCimErrNotSupported = 7,
};

struct Policy {
    unsigned int retries = 2;
    std::chrono::milliseconds first_backoff{500};                 // doubles with each retry
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};  // one request at most
    // How the client waits between attempts; tests replace it. The default returns early once
    // the bounds' cancellation answers true.
    std::function<void(std::chrono::milliseconds)> sleep;
    // The endpoint's deadline and the caller's cancellation (transport/Failure.h).
    Net::Bounds bounds;
};

// One property of an instance: a scalar has at most one value, an array any number. A null
// scalar has none.
struct Property {
    std::string type;  // the CIM type: "string", "uint16", "boolean", ...
    bool array = false;
    std::vector<std::string> values;
};

struct Instance {
    std::string class_name;
    std::map<std::string, Property> properties;

    // The property, or nullptr where the instance does not carry it.
    const Property* Find(const std::string& name) const;
    // The scalar's text, or an empty text where it is absent, null or an array.
    std::string Text(const std::string& name) const;
};

class Client {
public:
    Client(std::string endpoint, Credentials credentials, std::unique_ptr<Net::Transport> transport,
           Policy policy, std::string name_space = "root/cimv2");
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    std::mutex& Mutex() { return mutex_; }

    // Every instance of the class and its subclasses, with the named properties only (all of
    // them where the list is empty), in the server's order.
    std::vector<Instance> EnumerateInstances(const std::string& class_name,
                                             const std::vector<std::string>& properties);

private:
    std::string Exchange(const std::string& method, const std::string& body);
    [[noreturn]] void Fail(const Error& error);  // remembers it when it ends the client

    std::string endpoint_;  // "host:port"
    Credentials credentials_;
    std::unique_ptr<Net::Transport> transport_;
    Policy policy_;
    std::string name_space_;
    std::mutex mutex_;
    std::optional<Error> failed_;
    unsigned long message_id_ = 0;
};

// The body of an EnumerateInstances request (exposed for tests).
std::string EnumerateInstancesRequest(const std::string& name_space, const std::string& class_name,
                                      const std::vector<std::string>& properties,
                                      unsigned long message_id);

// The instances of an EnumerateInstances answer. Throws Error: kBadAnswer for a document that is
// not well-formed or not a CIM-XML answer to that method, and the cause of a CIM error the
// answer carries (see docs/cim.md for the mapping).
std::vector<Instance> ReadEnumerateInstancesAnswer(const std::string& body,
                                                   const std::string& class_name);

// Characters that XML text and attribute values cannot hold as they are, escaped.
std::string EscapeXml(const std::string& text);

}  // namespace Tesmora::Cim
