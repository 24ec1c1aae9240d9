// A Redfish client for one endpoint: its service root, its session, its resources.
//
// The client logs in at the first request that needs it: a session (POST to the service root's
// Links.Sessions, X-Auth-Token afterwards), or HTTP Basic where the service offers no sessions.
// Close logs out; the destructor calls it. Every resource read is kept, so none is fetched
// twice; of each, only the properties the mapping reads (Mapping.h, IsMappedProperty), so that
// what one endpoint keeps stays small (and is bounded: Policy.max_kept_bytes).
//
// Links. Every link a service gives (a collection, a member, a next page, the sessions
// collection, the session's Location, a redirect) is taken as a path on this endpoint or not at
// all: a scheme and authority equal to the endpoint's own are removed, and what remains must be
// a path (PathOnEndpoint). Anything else (user information, another host or port, "//...", a
// bare word) is refused as the service's fault: a member is left out with a warning, a link the
// call needs fails it. So neither the password, the token nor the Basic header can be sent to a
// host the service names. Requests are retried after a lost connection or an HTTP 5xx/429 answer,
// waiting a growing back-off or what Retry-After asks (never longer than the time-out); redirects
// are followed only within the same host and port.
//
// Failures throw Error. Some end the client for good (refused log-in, no connection, no Redfish
// service, a time-out, a certificate): later requests throw the same Error without touching the
// network. Others concern one resource (missing, not JSON) and leave the client usable.
// Warnings (a collection member skipped) go to the Reporter.
//
// Bounds. A Policy deadline and a cancellation are checked before each request, after each
// wait, and before waiting: once either has struck, requests fail at once with Cause::kTimeout
// and end the client, so that one slow endpoint, or a run that is stopping, does not hold its
// caller any longer than the request under way takes; and no request is given longer than what
// is left of the deadline (Policy.timeout at most), so the endpoint ends by its deadline. The
// log-out is exempt: Close still sends it, so that no session is left open, within its own
// short limit (Policy.log_out_limit).
//
// A log-in that fails (refused, answered without a token, a 5xx) is not tried again until
// Close: later calls throw the same Error, so one scan makes one attempt.
//
// Threads: one thread at a time; Mutex() is there for callers that share a client. The password
// and the session token go into request headers and the log-in body only: no Error, report or
// log line holds them.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tesmora/Diagnostics.h"
#include "transport/Failure.h"
#include "transport/Transport.h"

namespace Tesmora::Redfish {

using Json = nlohmann::json;

// The network libraries' common error (transport/Failure.h).
using Error = Net::Error;

struct Policy {
    unsigned int retries = 2;
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};  // longest wait asked for
    std::chrono::milliseconds first_backoff{500};                 // doubles with each retry
    int max_redirects = 5;
    std::size_t max_pages = 10000;
    // How the client waits between attempts; tests replace it. The default returns early once
    // cancelled answers true.
    std::function<void(std::chrono::milliseconds)> sleep;
    // When the endpoint's time is up; none by default.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    // Whether the caller has given up on the endpoint; may be called from the client's thread at
    // any request, so it must be cheap and thread-safe. Null: never.
    std::function<bool()> cancelled;
    // The clock the deadline is read on; tests replace it.
    std::function<std::chrono::steady_clock::time_point()> now;
    // JSON nested deeper than this is refused before a tree is built; no resource nests
    // anywhere near as deep.
    std::size_t max_depth = 64;
    // What the trees kept for one scan may take, by estimate, before further answers are
    // refused (Cause::kBadAnswer).
    std::size_t max_kept_bytes = std::size_t{64} << 20;
    // The log-out's own limit, attempts included: it is sent after the deadline or a
    // cancellation too, so that no session is left open, but may not hold the caller long.
    std::chrono::milliseconds log_out_limit{std::chrono::seconds(5)};
};

struct Credentials {
    std::string user;
    std::string password;
};

// Tells the client's owner of a warning or a note about this endpoint.
using Reporter = std::function<void(Severity, Cause, const std::string& message)>;

class Client {
public:
    Client(std::string endpoint, Credentials credentials, std::unique_ptr<Net::Transport> transport,
           Policy policy, Reporter reporter);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    std::mutex& Mutex() { return mutex_; }

    // The service root, read without credentials where the service allows it.
    const Json& Root();

    // The resource at path (a URI path as @odata.id gives it, with or without a query).
    const Json& Get(const std::string& path);

    // The members of the collection at path, in order, each once, across every page. A member
    // that is missing or unreadable is reported and left out.
    std::vector<const Json*> Members(const std::string& path);

    // The first member of the collection at path, or nullptr for an empty collection.
    const Json* FirstMember(const std::string& path);

    // Logs out of the session, if one is open; reports, never throws.
    void Close() noexcept;

private:
    enum class Login { kNone, kSession, kBasic };

    void LogIn();  // once per scan: a failure is kept and thrown again until Close
    void OpenSession();
    // Within bounds: the scan's (ScanBounds) for all but the log-out.
    Net::HttpResponse Exchange(const std::string& method, std::string target,
                               const std::string& body, bool authenticated,
                               const Net::Bounds& bounds);
    // Throws the time-out Error when the deadline has passed, or will have passed after wait,
    // or when the caller has cancelled.
    void CheckBounds(const Net::Bounds& bounds, const std::string& target,
                     std::chrono::milliseconds wait);
    Net::Bounds ScanBounds() const;
    Json Interpret(const Net::HttpResponse& response, const std::string& path);
    // The answer's tree, only the properties the mapping reads in it (IsMappedProperty); a
    // discarded value when it is not JSON. Throws kBadAnswer when it nests deeper than
    // Policy.max_depth or would take the scan's trees beyond Policy.max_kept_bytes.
    Json Read(const std::string& body, const std::string& path);
    [[noreturn]] void Fail(const Error& error);  // remembers it when it ends the client
    const Json* Fetch(const std::string& path, const std::string& collection);
    // The path a link of the service names on this endpoint; throws kBadAnswer when it names
    // none.
    std::string PathOf(const std::string& link);

    std::string endpoint_;  // "host:port"
    Credentials credentials_;
    std::unique_ptr<Net::Transport> transport_;
    Policy policy_;
    Reporter reporter_;

    std::mutex mutex_;
    Login login_ = Login::kNone;
    std::string token_;
    std::string session_path_;
    std::optional<Error> failed_;
    std::optional<Error> log_in_failed_;
    std::map<std::string, Json> resources_;
    std::size_t kept_bytes_ = 0;  // estimated, of resources_
};

// The path a link names, as the client keys and requests it: no fragment, no trailing slash
// (but the service root's), characters outside a URI percent-encoded.
std::string NormalisePath(const std::string& link);

// Whether the JSON text nests objects and arrays deeper than levels (brackets inside strings do
// not count); linear, and nothing is built.
bool NestsDeeperThan(std::string_view json, std::size_t levels);

// The path (NormalisePath) that link names on endpoint ("host:port", as Net::Authority writes
// it), once a leading "https://" or "http://" and the endpoint's own authority are removed; the
// port may be left out where it is 443. nullopt where the link names no path on the endpoint.
std::optional<std::string> PathOnEndpoint(const std::string& link, const std::string& endpoint);

// "Basic " and the base64 of user:password.
std::string BasicAuthorization(const Credentials& credentials);

}  // namespace Tesmora::Redfish
