// A Redfish client for one endpoint: its service root, its session, its resources.
//
// The client logs in at the first request that needs it: a session (POST to the service root's
// Links.Sessions, or where older services keep them; X-Auth-Token afterwards), or HTTP Basic
// where the service offers no sessions or will not open one now (a session limit, HTTP 400 or
// 503: a note says so). Neither the log-in nor the service root carries credentials. A session
// that ends mid-scan (401 after a good log-in) is opened once more. Close logs out of the
// session last opened; the destructor calls it. Every resource read is kept, so none is fetched
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
// network. Others concern one resource (missing, forbidden, not JSON, an answer 200 holding an
// error) and leave the client usable. A member of a collection (or a linked resource, Resources)
// that cannot be read fails the whole read, naming each one, once the others are read; with
// Policy.partial it is left out instead, with a warning naming it (the Reporter's missing).
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
// Fewer round trips. Where the service root offers $expand (ProtocolFeaturesSupported.
// ExpandQuery), Members asks for each page with its members expanded one level and keeps each
// member that came with its properties (and names a path inside the collection); one that came
// as a bare @odata.id is read on its own. An answer 400 or 501 to the expansion, or a list that
// came unexpanded, turns it off until Close, with a note. Where SelectQuery is offered, members
// read on their own are asked only for the properties the mapping reads (SelectedProperties);
// a 400 or 501 turns that off likewise. Members read on their own go out Policy.connections at a
// time, each on a connection of its own sharing the session (Policy.connect makes the further
// ones, kept until the client ends); their answers are read in collection order, and each
// request has its own retries, limits and messages as above.
//
// Threads: one thread at a time, though the client runs worker threads of its own while it
// fetches members at once (they only send; the caller's thread reads every answer); Mutex() is
// there for callers that share a client. The password
// and the session token go into request headers and the log-in body only: no Error, report or
// log line holds them.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <exception>
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
    // Whether a member or linked resource that cannot be read is left out (and reported as
    // missing) rather than failing the read.
    bool partial = false;
    // Requests under way at once where members are read one by one; 1 (or no connect): one at a
    // time, on the transport the client was given.
    unsigned int connections = 1;
    // Makes a further connection to the same endpoint, with the same options; may be null.
    std::function<std::unique_ptr<Net::Transport>()> connect;
};

struct Credentials {
    std::string user;
    std::string password;
};

// Tells the client's owner of a warning or a note about this endpoint; missing names what an
// answer lacks because of it (Diagnostic.missing), or is empty.
using Reporter =
    std::function<void(Severity, Cause, const std::string& message, const std::string& missing)>;

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
    // that cannot be read fails the read, or is left out under Policy.partial (see above).
    std::vector<const Json*> Members(const std::string& path);

    // The resources links name, in order, each once; context names them in messages ("the
    // enclosure's managers"). One that cannot be read is handled as a collection's member.
    std::vector<const Json*> Resources(const std::vector<std::string>& links,
                                       const std::string& context);

    // The first member of the collection at path, or nullptr for an empty collection.
    const Json* FirstMember(const std::string& path);

    // Logs out of the session, if one is open; reports, never throws.
    void Close() noexcept;

private:
    enum class Login { kNone, kSession, kBasic };
    // What a GET asks for besides the resource, while the service is taken to honour it.
    enum class Query { kNone, kExpand, kSelect };

    // An answer fetched ahead by a worker, for the caller's thread to read.
    struct Fetched {
        std::string target;
        Net::HttpResponse response;
        std::optional<Error> error;
        std::exception_ptr other;  // anything else a worker met (std::bad_alloc)
    };

    // What could not be read, and why.
    struct Unread {
        std::string what;  // its path, or the link as the service gave it
        Cause cause;
        std::string why;
    };

    void LogIn();  // once per scan: a failure is kept and thrown again until Close
    // Deletes the session, if one is open, telling the Reporter where that fails when tell.
    void LogOut(bool tell) noexcept;
    void OpenSession();
    // Where sessions may be opened, in the order tried; linked says whether the first is named
    // by the service (a 401 there is a refused log-in) rather than guessed.
    std::vector<std::string> SessionCollections(bool& linked);
    // Where the session a log-in answer opened is closed; "" (with a warning) if nowhere.
    std::string SessionPath(const Net::HttpResponse& response, const std::string& sessions);
    std::vector<const Json*> Collect(const std::vector<std::string>& links,
                                     const std::string& context, std::vector<Unread>& unread);
    // Fails naming each of unread, or under Policy.partial reports each as missing.
    void Settle(const std::vector<Unread>& unread, const std::string& context);
    // Within bounds: the scan's (ScanBounds) for all but the log-out.
    Net::HttpResponse Exchange(const std::string& method, std::string target,
                               const std::string& body, bool authenticated,
                               const Net::Bounds& bounds);
    // Exchange on any of the client's transports, changing nothing of the client: what fails is
    // thrown, not remembered, so that workers may call it at once.
    Net::HttpResponse Send(Net::Transport& transport, const std::string& method, std::string target,
                           const std::string& body, bool authenticated,
                           const Net::Bounds& bounds) const;
    // The resource at path (PathOf already applied), asked for with query where offered.
    const Json& Fetch(const std::string& path, Query query);
    // The GET answer for path: fetched ahead, or asked for now; a 400 or 501 to a query turns
    // the query off and asks again without. asked tells whether the answer is to the query.
    Net::HttpResponse Answer(const std::string& path, Query query, bool& asked);
    std::string Target(const std::string& path, Query query) const;
    // Reads from the service root which queries it offers, once.
    void LearnQueries();
    // Keeps the members an expanded page brought along as resources of their own.
    void Unfold(Json& page, const std::string& path, bool asked);
    // Fetches paths ahead, Policy.connections at once, for Fetch to read in order.
    void FetchAhead(const std::vector<std::string>& paths);
    void EnsureLoggedIn();
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
    bool logged_in_again_ = false;
    std::string basic_because_;  // the log-in's answer, where HTTP Basic stands in for it
    std::optional<Error> failed_;
    std::optional<Error> log_in_failed_;
    std::map<std::string, Json> resources_;
    std::vector<std::unique_ptr<Net::Transport>> more_transports_;  // besides transport_
    std::map<std::string, Fetched> fetched_;                        // by path, not yet read
    bool queries_known_ = false;
    std::string expand_;  // the $expand value the service offers, or "" (none, or turned off)
    bool select_ = false;
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
