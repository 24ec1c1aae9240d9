// Why a remote call went wrong, told by the backend to whoever drives the libraries.
//
// The libraries answer their callers with their own result codes only, and the module reduces
// those further to its statuses; the cause (a refused password, a certificate, a time-out) would
// be lost on the way. A backend that reaches real endpoints therefore also reports each cause,
// once, to a DiagnosticSink that its owner supplied: the tool prints them after the module's
// status lines. Reports never hold a password, a session token or a request body.
//
// Threads: a sink may be called from every thread that calls into the libraries, at once.
// Report must not throw.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "tesmora/Export.h"

namespace Tesmora {

enum class Severity {
    kError,    // the call failed because of it
    kWarning,  // the call went on, maybe without a part of the answer (Diagnostic.missing)
    kNote,     // worth knowing, nothing is missing
};

enum class Cause {
    kAuthentication,   // the endpoint refused the user name or password (HTTP 401/403)
    kNameNotResolved,  // the host name has no address
    kUnreachable,      // no connection: refused, no route, bad address
    kCertificate,      // the endpoint's certificate is not trusted or names another host
    kTls,              // no TLS session could be set up
    kTimeout,          // no whole answer within the time allowed
    kWrongService,     // what answers is not the service asked for (Redfish, CIM)
    kMissingResource,  // a resource the call needs is absent or not offered
    kBadAnswer,        // an answer that cannot be used: not JSON, cut short, too large
    kRedirect,         // a redirect to another host, which is never followed
    kPagingLoop,       // a collection's pages lead back to one already read
    kServiceError,     // the service kept failing (HTTP 5xx) or kept asking to wait
    kSystemsList,      // what the systems lists say of a machine type
    kSession,          // a session could not be closed
    kForbidden,        // the user may not read one resource (HTTP 403 after a good log-in)
};

struct Diagnostic {
    Severity severity = Severity::kError;
    Cause cause = Cause::kBadAnswer;
    std::string endpoint;  // "host:port", IPv6 addresses in brackets
    std::string message;   // one line, starting in lower case, without the endpoint
    std::string hint;      // what the user may do about it, or empty
    // What the call's answer lacks because of it (a resource's path, or a part the service does
    // not offer): set on the warnings of a call that went on without that part, which a caller
    // that accepts partial answers lists; empty otherwise.
    std::string missing;
};

class TESMORA_API DiagnosticSink {
public:
    virtual ~DiagnosticSink();
    virtual void Report(const Diagnostic& diagnostic) = 0;
};

// Keeps every report, in order, for whoever reads them afterwards.
class TESMORA_API DiagnosticLog : public DiagnosticSink {
public:
    void Report(const Diagnostic& diagnostic) override;
    // The reports so far, each distinct one once, in the order first reported.
    std::vector<Diagnostic> Reports() const;

private:
    mutable std::mutex mutex_;
    std::vector<Diagnostic> reports_;
};

// "host:port: message", then " (hint)" when there is one.
TESMORA_API std::string Describe(const Diagnostic& diagnostic);

}  // namespace Tesmora
