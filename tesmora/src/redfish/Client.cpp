#include "redfish/Client.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <set>
#include <thread>

#include "redfish/Mapping.h"
#include "tesmora/Log.h"

namespace Tesmora::Redfish {

namespace {

using Net::TransportFailure;

constexpr const char* kServiceRoot = "/redfish/v1/";

// What a property and a value of a kept tree take, besides their texts (nlohmann's object is a
// std::map: a node of about 80 bytes per property; a value 16 bytes, more in an array's spare
// room). An estimate, to bound what one endpoint keeps.
constexpr std::size_t kKeptPerProperty = 96;
constexpr std::size_t kKeptPerValue = 32;

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT") as seconds since 1970, UTC.
std::optional<std::int64_t> SecondsSinceEpoch(const std::string& text) {
    static const std::string kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    char month_name[4] = {};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(text.c_str(), "%*3s, %d %3s %d %d:%d:%d GMT", &day, month_name, &year, &hour,
                    &minute, &second) != 6) {
        return std::nullopt;
    }
    const std::size_t at = kMonths.find(month_name);
    if (at == std::string::npos || at % 3 != 0) {
        return std::nullopt;
    }
    // Days from the civil date, counting years from March so that leap days come last.
    const int month = static_cast<int>(at / 3) + 1;
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int year_of_era = y - era * 400;
    const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    const std::int64_t days = std::int64_t{era} * 146097 + day_of_era - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

// Retry-After as seconds or as an HTTP date; nullopt when absent or unreadable.
std::optional<std::chrono::milliseconds> RetryAfter(const Net::HttpResponse& response) {
    const std::string* value = response.Header("Retry-After");
    if (value == nullptr || value->empty()) {
        return std::nullopt;
    }
    if (std::all_of(value->begin(), value->end(),
                    [](unsigned char c) { return std::isdigit(c); })) {
        if (value->size() > 9) {
            return std::chrono::hours(24 * 365);
        }
        return std::chrono::seconds(std::stol(*value));
    }
    if (const auto at = SecondsSinceEpoch(*value)) {
        const std::int64_t now = std::time(nullptr);
        return std::chrono::seconds(*at > now ? *at - now : 0);
    }
    return std::nullopt;
}

Error Refused(int status, const std::string& path) {
    return Error(
        Cause::kAuthentication,
        "refused the user name or password (HTTP " + std::to_string(status) + " at " + path + ")",
        "check --user and the password");
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string SecondsText(std::chrono::milliseconds wait) {
    return std::to_string((wait.count() + 999) / 1000) + " s";
}

// What a Redfish error object says: its first extended message, else its own message.
std::string ServiceMessage(const Json& answer) {
    const auto error = answer.find("error");
    if (error == answer.end() || !error->is_object()) {
        return std::string();
    }
    const auto extended = error->find("@Message.ExtendedInfo");
    if (extended != error->end() && extended->is_array()) {
        for (const Json& info : *extended) {
            if (std::string message = Text(info, {"Message"}); !message.empty()) {
                return message;
            }
        }
    }
    return Text(*error, {"message"});
}

bool HoldsError(const Json& answer) {
    const auto error = answer.find("error");
    return error != answer.end() && error->is_object();
}

// The path a relative-path reference (RFC 3986: no scheme, no leading "/") names from base, a
// path; dot segments resolved. nullopt for anything else.
std::optional<std::string> ResolvedAgainst(const std::string& reference, const std::string& base) {
    const std::size_t colon = reference.find(':');
    if (reference.empty() || reference[0] == '/' ||
        (colon != std::string::npos && colon < reference.find('/'))) {
        return std::nullopt;
    }
    std::vector<std::string> segments;
    const std::string joined = base.substr(0, base.rfind('/') + 1) + reference;
    for (std::size_t at = 1; at <= joined.size();) {
        const std::size_t end = std::min(joined.find('/', at), joined.size());
        const std::string segment = joined.substr(at, end - at);
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (segment != "." && !segment.empty()) {
            segments.push_back(segment);
        }
        at = end + 1;
    }
    std::string path;
    for (const std::string& segment : segments) {
        path += "/" + segment;
    }
    return path.empty() ? std::string("/") : path;
}

}  // namespace

std::string NormalisePath(const std::string& link) {
    std::string path = link.substr(0, link.find('#'));
    const std::size_t query = path.find('?');
    std::string tail = query == std::string::npos ? std::string() : path.substr(query);
    path = path.substr(0, query);
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (path == "/redfish/v1") {
        path = kServiceRoot;
    }
    static const std::string kAllowed = "-._~!$&'()*+,;=:@/%?";
    std::string encoded;
    for (const unsigned char c : path + tail) {
        if (std::isalnum(c) || kAllowed.find(static_cast<char>(c)) != std::string::npos) {
            encoded += static_cast<char>(c);
        } else {
            static const char* const kHex = "0123456789ABCDEF";
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

namespace {

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// An answer's tree with only the properties the mapping reads (IsMappedProperty), built from
// the parser's events: the rest (Oem sections, descriptions of every sensor, ...) is skipped as
// it is parsed, never built, so what a scan keeps stays small. Stops the parse once what it
// keeps would go beyond its allowance. Linear in the answer: nlohmann's own callback parser
// looks through a whole array after each of its objects, which a hostile answer of many small
// objects turns into hours.
class MappedTree : public nlohmann::json_sax<Json> {
public:
    explicit MappedTree(std::size_t allowance) : allowance_(allowance) {}

    bool over() const { return over_; }
    std::size_t kept() const { return kept_; }
    Json Take() { return std::move(root_); }

    bool null() override { return Put(Json(nullptr)); }
    bool boolean(bool value) override { return Put(Json(value)); }
    bool number_integer(number_integer_t value) override { return Put(Json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return Put(Json(value)); }
    bool number_float(number_float_t value, const string_t&) override { return Put(Json(value)); }
    bool string(string_t& value) override {
        const std::size_t size = value.size();
        return Put(Json(std::move(value)), size);
    }
    bool binary(binary_t&) override { return false; }  // JSON text has none
    bool start_object(std::size_t) override { return Open(Json::value_t::object); }
    bool start_array(std::size_t) override { return Open(Json::value_t::array); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& name) override {
        if (skipping_ > 0) {
            return true;
        }
        drop_next_ = !IsMappedProperty(name);
        if (drop_next_) {
            return true;
        }
        key_ = name;
        return Count(kKeptPerProperty + name.size());
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    bool Count(std::size_t bytes) {
        kept_ += bytes;
        over_ = kept_ > allowance_;
        return !over_;
    }
    // Whether the next value is left out: inside a dropped container, or a dropped key's.
    bool Dropped() {
        if (skipping_ > 0) {
            return true;
        }
        const bool dropped = drop_next_;
        drop_next_ = false;
        return dropped;
    }
    Json* Insert(Json value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Json& parent = *open_.back();
        if (parent.is_array()) {
            auto& array = parent.get_ref<Json::array_t&>();
            array.push_back(std::move(value));
            return &array.back();
        }
        return &(parent.get_ref<Json::object_t&>()[key_] = std::move(value));
    }
    bool Put(Json value, std::size_t text = 0) {
        if (Dropped()) {
            return true;
        }
        Insert(std::move(value));
        return Count(kKeptPerValue + text);
    }
    bool Open(Json::value_t type) {
        if (Dropped()) {
            ++skipping_;
            return true;
        }
        // Only the innermost container grows while it is open, so the pointers stay valid.
        open_.push_back(Insert(Json(type)));
        return Count(kKeptPerValue);
    }
    bool Close() {
        if (skipping_ > 0) {
            --skipping_;
        } else if (!open_.empty()) {
            open_.pop_back();
        }
        return true;
    }

    std::size_t allowance_;
    std::size_t kept_ = 0;
    bool over_ = false;
    Json root_;
    std::vector<Json*> open_;
    std::string key_;
    bool drop_next_ = false;
    std::size_t skipping_ = 0;  // levels inside a dropped container
};

}  // namespace

bool NestsDeeperThan(std::string_view json, std::size_t levels) {
    std::size_t depth = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (in_string) {
            if (c == '\\') {
                ++i;  // the escaped character cannot end the string
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            if (++depth > levels) {
                return true;
            }
        } else if ((c == '}' || c == ']') && depth > 0) {
            --depth;
        }
    }
    return false;
}

std::optional<std::string> PathOnEndpoint(const std::string& link, const std::string& endpoint) {
    std::string rest = link;
    std::vector<std::string> authorities{endpoint};
    if (const std::size_t colon = endpoint.rfind(':');
        colon != std::string::npos && endpoint.substr(colon) == ":443") {
        authorities.push_back(endpoint.substr(0, colon));
    }
    for (const char* scheme : {"https://", "http://"}) {
        for (const std::string& authority : authorities) {
            const std::string prefix = scheme + authority;
            // The authority ends where the path, the query or the fragment begins.
            if (StartsWithIgnoringCase(link, prefix) &&
                (link.size() == prefix.size() ||
                 std::string("/?#").find(link[prefix.size()]) != std::string::npos)) {
                rest = link.substr(prefix.size());
                if (rest.empty() || rest[0] != '/') {
                    rest = "/" + rest;
                }
            }
        }
    }
    if (rest.empty() || rest[0] != '/' || rest.rfind("//", 0) == 0) {
        return std::nullopt;
    }
    return NormalisePath(rest);
}

std::string BasicAuthorization(const Credentials& credentials) {
    static const char* const kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string plain = credentials.user + ":" + credentials.password;
    std::string encoded;
    for (std::size_t i = 0; i < plain.size(); i += 3) {
        const std::size_t left = plain.size() - i;
        std::uint32_t block = static_cast<unsigned char>(plain[i]) << 16;
        if (left > 1) {
            block |= static_cast<unsigned char>(plain[i + 1]) << 8;
        }
        if (left > 2) {
            block |= static_cast<unsigned char>(plain[i + 2]);
        }
        encoded += kAlphabet[(block >> 18) & 63];
        encoded += kAlphabet[(block >> 12) & 63];
        encoded += left > 1 ? kAlphabet[(block >> 6) & 63] : '=';
        encoded += left > 2 ? kAlphabet[block & 63] : '=';
    }
    return "Basic " + encoded;
}

Client::Client(std::string endpoint, Credentials credentials,
               std::unique_ptr<Net::Transport> transport, Policy policy, Reporter reporter)
    : endpoint_(std::move(endpoint)),
      credentials_(std::move(credentials)),
      transport_(std::move(transport)),
      policy_(std::move(policy)),
      reporter_(std::move(reporter)) {
    if (!policy_.now) {
        policy_.now = [] { return std::chrono::steady_clock::now(); };
    }
    if (!policy_.sleep) {
        // In slices, so that a caller who gives up need not sit out a long back-off.
        policy_.sleep = Net::CancellableSleep(policy_.cancelled);
    }
}

Client::~Client() {
    Close();
}

void Client::Fail(const Error& error) {
    if (Net::EndsClient(error.cause())) {
        failed_ = error;
    }
    throw error;
}

void Client::CheckBounds(const Net::Bounds& bounds, const std::string& target,
                         std::chrono::milliseconds wait) {
    if (std::optional<Error> exceeded = bounds.Exceeded(target, wait)) {
        Fail(*exceeded);
    }
}

Net::Bounds Client::ScanBounds() const {
    return Net::Bounds{policy_.deadline, policy_.cancelled, policy_.now};
}

Net::HttpResponse Client::Exchange(const std::string& method, std::string target,
                                   const std::string& body, bool authenticated,
                                   const Net::Bounds& bounds) {
    try {
        return Send(*transport_, method, std::move(target), body, authenticated, bounds);
    } catch (const Error& error) {
        Fail(error);
    }
}

Net::HttpResponse Client::Send(Net::Transport& transport, const std::string& method,
                               std::string target, const std::string& body, bool authenticated,
                               const Net::Bounds& bounds) const {
    unsigned int attempt = 0;
    int redirects = 0;
    const auto check = [&](std::chrono::milliseconds wait) {
        if (std::optional<Error> exceeded = bounds.Exceeded(target, wait)) {
            throw *exceeded;
        }
    };
    // A wait that would outlast the deadline fails now rather than after the wait.
    const auto wait = [&](std::chrono::milliseconds how_long) {
        check(how_long);
        policy_.sleep(how_long);
    };
    for (;;) {
        check(std::chrono::milliseconds(0));
        Net::HttpRequest request{method, target, {}, body};
        // No request may outlast what is left of the endpoint's time.
        request.timeout = bounds.RequestLimit(policy_.timeout);
        request.headers.push_back({"Accept", "application/json"});
        request.headers.push_back({"OData-Version", "4.0"});
        if (!body.empty()) {
            request.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
        }
        if (authenticated && login_ == Login::kSession) {
            request.headers.push_back({"X-Auth-Token", token_});
        } else if (authenticated && login_ == Login::kBasic) {
            request.headers.push_back({"Authorization", BasicAuthorization(credentials_)});
        }

        Net::HttpResponse response;
        try {
            response = transport.Send(request);
        } catch (const Net::TransportError& error) {
            // A log-in is not sent twice: the first may have opened a session already.
            if (Net::Retryable(error.failure()) && attempt < policy_.retries && method != "POST") {
                wait(policy_.first_backoff * (1 << std::min(attempt, 4u)));
                ++attempt;
                continue;
            }
            if (error.failure() == TransportFailure::kTimedOut &&
                request.timeout < policy_.timeout) {
                throw Net::EndpointTimeOut(target);  // the endpoint's time, not --timeout
            }
            throw Net::ErrorOf(error, endpoint_, target, "service");
        }
        TS_LOG(4) << method << " " << target << " -> " << response.status << " ("
                  << response.body.size() << " bytes)";

        if (IsRedirect(response.status)) {
            const std::string* location = response.Header("Location");
            const std::optional<std::string> next =
                location ? PathOnEndpoint(*location, endpoint_) : std::nullopt;
            if (!next) {
                throw Error(Cause::kRedirect,
                            target + " redirects to another host (" +
                                (location ? Net::Shown(*location) : std::string("nowhere")) +
                                "), which is not followed",
                            "give that host as --host if it is the service");
            }
            if (++redirects > policy_.max_redirects) {
                throw Error(Cause::kRedirect, target + " redirects more than " +
                                                  std::to_string(policy_.max_redirects) + " times");
            }
            target = *next;
            continue;
        }

        const bool busy = response.status == 429 || response.status == 503;
        // A log-in answered 503 without asking to wait is a session limit, which waiting does
        // not lift (OpenSession takes HTTP Basic instead).
        const bool asks_to_wait =
            response.status == 429 || (busy && response.Header("Retry-After") != nullptr);
        if ((busy || response.status >= 500) && attempt < policy_.retries &&
            (method != "POST" || asks_to_wait)) {
            std::chrono::milliseconds backoff =
                policy_.first_backoff * (1 << std::min(attempt, 4u));
            if (const auto asked = busy ? RetryAfter(response) : std::nullopt) {
                if (*asked > policy_.timeout) {
                    throw Error(Cause::kServiceError,
                                "the service is busy and asks to wait " + SecondsText(*asked) +
                                    " before asking for " + target + " again",
                                "try again later, or raise --timeout");
                }
                backoff = *asked;
            }
            wait(backoff);
            ++attempt;
            continue;
        }
        return response;
    }
}

Json Client::Interpret(const Net::HttpResponse& response, const std::string& path) {
    const int status = response.status;
    if (status == 401 && !basic_because_.empty()) {
        Fail(Error(Cause::kAuthentication,
                   "refused the user name or password with HTTP Basic (HTTP 401 at " + path +
                       ") after the log-in was answered " + basic_because_,
                   "check --user and the password, or close sessions the user left open"));
    }
    if (status == 401 || (status == 403 && login_ == Login::kNone)) {
        Fail(Refused(status, path));
    }
    if (status == 403) {
        // The log-in was good: what this user may read is the question, not the password.
        Fail(Error(Cause::kForbidden, "the user may not read " + path + " (HTTP 403)",
                   "give the user a role that may read it"));
    }
    if (status == 404 || status == 410) {
        Fail(Error(Cause::kMissingResource,
                   path + " does not exist (HTTP " + std::to_string(status) + ")"));
    }
    if (status >= 500 || status == 429) {
        Fail(Error(Cause::kServiceError, "the service failed to answer " + path + " (HTTP " +
                                             std::to_string(status) + ", " +
                                             std::to_string(policy_.retries + 1) + " attempts)"));
    }
    if (status != 200) {
        Fail(
            Error(Cause::kBadAnswer, "unexpected HTTP " + std::to_string(status) + " for " + path));
    }
    Json json = Read(response.body, path);
    if (json.is_discarded() || !json.is_object()) {
        Fail(Error(Cause::kBadAnswer, "the answer to " + path + " is not a JSON object"));
    }
    if (HoldsError(json)) {
        // Some services answer 200 with an error object, in place of the resource or beside it.
        Fail(Error(Cause::kBadAnswer, path + " holds an error instead of the resource: " +
                                          Net::Shown(ServiceMessage(json))));
    }
    return json;
}

Json Client::Read(const std::string& body, const std::string& path) {
    if (NestsDeeperThan(body, policy_.max_depth)) {
        Fail(Error(Cause::kBadAnswer, "the answer to " + path + " nests deeper than " +
                                          std::to_string(policy_.max_depth) + " levels"));
    }
    MappedTree tree(policy_.max_kept_bytes - std::min(kept_bytes_, policy_.max_kept_bytes));
    const bool parsed = Json::sax_parse(body, &tree);
    if (tree.over()) {
        Fail(Error(Cause::kBadAnswer,
                   "the answers of this service hold more than the " +
                       std::to_string((policy_.max_kept_bytes + (std::size_t{1} << 20) - 1) >> 20) +
                       " MiB a scan keeps of one endpoint; " + path + " is not read"));
    }
    if (!parsed) {
        return Json(Json::value_t::discarded);
    }
    const std::size_t kept = tree.kept();
    Json json = tree.Take();
    kept_bytes_ += kept;
    return json;
}

const Json& Client::Root() {
    if (const auto found = resources_.find(kServiceRoot); found != resources_.end()) {
        return found->second;
    }
    if (failed_) {
        throw *failed_;
    }
    const Net::HttpResponse response =
        Exchange("GET", kServiceRoot, std::string(), false, ScanBounds());
    if (response.status == 401 || response.status == 403) {
        // A service that wants credentials even for its root: log in where sessions usually are.
        login_ = Login::kNone;
        LogIn();
        return Get(kServiceRoot);
    }
    if (response.status >= 500 || response.status == 429) {
        Interpret(response, kServiceRoot);  // a busy or failing service, not a missing one
    }
    const std::string where = "https://" + endpoint_ + kServiceRoot;
    if (response.status != 200) {
        Fail(Error(
            Cause::kWrongService,
            "no Redfish service at " + where + " (HTTP " + std::to_string(response.status) + ")",
            "check --host and the port"));
    }
    Json root = Read(response.body, kServiceRoot);
    if (root.is_object() && HoldsError(root)) {
        Fail(Error(Cause::kServiceError,
                   "the service root holds an error instead of the resource: " +
                       Net::Shown(ServiceMessage(root))));
    }
    const bool redfish =
        root.is_object() && (root.contains("RedfishVersion") ||
                             Text(root, {"@odata.type"}).find("ServiceRoot") != std::string::npos);
    if (!redfish) {
        const std::string* type = response.Header("Content-Type");
        Fail(Error(Cause::kWrongService,
                   "no Redfish service at " + where + " (the answer is " +
                       (type ? *type : std::string("untyped")) + ", not a service root)",
                   "check --host and the port"));
    }
    return resources_.emplace(kServiceRoot, std::move(root)).first->second;
}

void Client::LogIn() {
    if (log_in_failed_) {
        throw *log_in_failed_;
    }
    try {
        OpenSession();
    } catch (const Error& error) {
        log_in_failed_ = error;
        throw;
    }
}

std::vector<std::string> Client::SessionCollections(bool& linked) {
    linked = true;
    const auto root = resources_.find(kServiceRoot);
    if (root == resources_.end()) {
        // The root wants credentials itself: where sessions usually are.
        return {"/redfish/v1/SessionService/Sessions"};
    }
    if (const std::string link = Link(root->second, {"Links", "Sessions"}); !link.empty()) {
        return {PathOf(link)};
    }
    const std::string service = Link(root->second, {"SessionService"});
    if (service.empty()) {
        return {};  // the service offers no sessions
    }
    // Services older than Redfish 1.6 name no Links.Sessions: the SessionService's own link,
    // where it can be read without credentials, else the standard's URI and the older one.
    std::vector<std::string> collections;
    const std::string service_path = PathOf(service);
    const Net::HttpResponse answer =
        Exchange("GET", service_path, std::string(), false, ScanBounds());
    if (answer.status == 200) {
        const Json resource = Read(answer.body, service_path);
        if (const std::string link = Link(resource, {"Sessions"}); !link.empty()) {
            if (const auto path = PathOnEndpoint(link, endpoint_)) {
                collections.push_back(*path);
            }
        }
    }
    linked = !collections.empty();
    for (const std::string& guess :
         {service_path + "/Sessions", std::string("/redfish/v1/Sessions")}) {
        if (std::find(collections.begin(), collections.end(), guess) == collections.end()) {
            collections.push_back(guess);
        }
    }
    return collections;
}

void Client::OpenSession() {
    bool linked = true;
    const std::vector<std::string> collections = SessionCollections(linked);
    const std::string body =
        Json{{"UserName", credentials_.user}, {"Password", credentials_.password}}.dump();
    for (std::size_t i = 0; i < collections.size(); ++i) {
        const std::string& sessions = collections[i];
        const Net::HttpResponse response = Exchange("POST", sessions, body, false, ScanBounds());
        const int status = response.status;
        // A guessed collection that is not there may also be answered 401 by a service that
        // wants credentials for every unknown path: the next one, or HTTP Basic, decides.
        const bool guessed = i > 0 || !linked;
        if (status == 404 || status == 405 || status == 501 ||
            (guessed && (status == 401 || status == 403))) {
            continue;
        }
        if (status == 401 || status == 403) {
            Fail(Refused(status, sessions));
        }
        if (status == 400 || status == 503) {
            // Mostly a session limit ("the maximum number of user sessions is reached"): the
            // controller still takes HTTP Basic.
            std::string message;
            try {
                message = ServiceMessage(Read(response.body, sessions));
            } catch (const Error&) {
                // An answer too deep or too large: its status alone is told.
            }
            const std::string said = message.empty() ? std::string() : ": " + Net::Shown(message);
            basic_because_ = "HTTP " + std::to_string(status) +
                             (message.empty() ? std::string() : " (" + Net::Shown(message) + ")");
            reporter_(Severity::kNote, Cause::kSession,
                      "the service opens no session now (HTTP " + std::to_string(status) + " at " +
                          sessions + said + "); HTTP Basic is used instead",
                      std::string());
            login_ = Login::kBasic;
            return;
        }
        const std::string* token = response.Header("X-Auth-Token");
        if (status < 200 || status > 299 || token == nullptr || token->empty()) {
            Fail(Error(Cause::kServiceError, "no session could be opened (HTTP " +
                                                 std::to_string(status) + " at " + sessions + ")"));
        }
        token_ = *token;
        login_ = Login::kSession;
        session_path_ = SessionPath(response, sessions);
        return;
    }
    login_ = Login::kBasic;  // no sessions offered, or none where they were looked for
}

std::string Client::SessionPath(const Net::HttpResponse& response, const std::string& sessions) {
    // Where to log out: the Location (a path on this endpoint, or relative to the collection),
    // else the session's own @odata.id.
    const std::string* location = response.Header("Location");
    std::optional<std::string> where;
    if (location != nullptr) {
        where = PathOnEndpoint(*location, endpoint_);
        if (!where) {
            const auto resolved = ResolvedAgainst(*location, sessions);
            if (resolved && resolved->rfind(sessions + "/", 0) == 0) {
                where = NormalisePath(*resolved);
            }
        }
        if (!where) {
            reporter_(Severity::kWarning, Cause::kBadAnswer,
                      "the service sent a session Location that is not a path on this endpoint (" +
                          Net::Shown(*location) + "); it is not followed",
                      std::string());
        }
    }
    if (!where) {
        try {
            const Json answer = Read(response.body, sessions);
            if (const std::string id = Text(answer, {"@odata.id"}); !id.empty()) {
                where = PathOnEndpoint(id, endpoint_);
            }
        } catch (const Error&) {
            // An answer too deep or too large names no session: warned about below.
        }
    }
    if (!where || where->empty()) {
        reporter_(Severity::kWarning, Cause::kSession,
                  "the service opened a session without saying where; it cannot be closed",
                  std::string());
        return std::string();
    }
    return *where;
}

std::string Client::PathOf(const std::string& link) {
    std::optional<std::string> path = PathOnEndpoint(link, endpoint_);
    if (!path) {
        Fail(Error(Cause::kBadAnswer,
                   "the service sent a link that is not a path on this endpoint (" +
                       Net::Shown(link) + "); it is not followed"));
    }
    return std::move(*path);
}

const Json& Client::Get(const std::string& link) {
    return Fetch(PathOf(link), Query::kNone);
}

void Client::EnsureLoggedIn() {
    if (login_ == Login::kNone) {
        Root();
        if (login_ == Login::kNone) {
            LogIn();
        }
    }
    LearnQueries();
}

void Client::LearnQueries() {
    const auto root = resources_.find(kServiceRoot);
    if (queries_known_ || root == resources_.end()) {
        return;
    }
    queries_known_ = true;
    const auto offered = [&](std::initializer_list<const char*> path) {
        const Json* node = &root->second;
        for (const char* name : path) {
            if (!node->is_object() || !node->contains(name)) {
                return false;
            }
            node = &(*node)[name];
        }
        return node->is_boolean() && node->get<bool>();
    };
    // Members are no Links: "." expands just the rest; "*" everything, Links too.
    if (offered({"ProtocolFeaturesSupported", "ExpandQuery", "NoLinks"})) {
        expand_ = ".";
    } else if (offered({"ProtocolFeaturesSupported", "ExpandQuery", "ExpandAll"})) {
        expand_ = "*";
    }
    if (!expand_.empty() && offered({"ProtocolFeaturesSupported", "ExpandQuery", "Levels"})) {
        expand_ += "($levels=1)";
    }
    select_ = offered({"ProtocolFeaturesSupported", "SelectQuery"});
}

std::string Client::Target(const std::string& path, Query query) const {
    std::string name;
    std::string value;
    if (query == Query::kExpand && !expand_.empty() && path.find("$expand") == std::string::npos) {
        name = "$expand";
        value = expand_;
    } else if (query == Query::kSelect && select_ && path.find('?') == std::string::npos) {
        name = "$select";
        value = SelectedProperties();
    } else {
        return path;
    }
    return path + (path.find('?') == std::string::npos ? "?" : "&") + name + "=" + value;
}

Net::HttpResponse Client::Answer(const std::string& path, Query query, bool& asked) {
    Net::HttpResponse response;
    std::string target;
    if (auto found = fetched_.find(path); found != fetched_.end()) {
        Fetched fetched = std::move(found->second);
        fetched_.erase(found);
        if (fetched.other) {
            std::rethrow_exception(fetched.other);
        }
        if (fetched.error) {
            Fail(*fetched.error);
        }
        target = std::move(fetched.target);
        response = std::move(fetched.response);
    } else {
        target = Target(path, query);
        response = Exchange("GET", target, std::string(), true, ScanBounds());
    }
    asked = target != path;
    if (asked && (response.status == 400 || response.status == 501)) {
        const bool expand = query == Query::kExpand;
        reporter_(Severity::kNote, Cause::kBadAnswer,
                  std::string("the service offers ") + (expand ? "$expand" : "$select") +
                      " but answered it with HTTP " + std::to_string(response.status) + " at " +
                      path + "; it is not asked for again",
                  std::string());
        if (expand) {
            expand_.clear();
        } else {
            select_ = false;
        }
        asked = false;
        response = Exchange("GET", path, std::string(), true, ScanBounds());
    }
    return response;
}

const Json& Client::Fetch(const std::string& path, Query query) {
    if (const auto found = resources_.find(path); found != resources_.end()) {
        return found->second;
    }
    if (failed_) {
        throw *failed_;
    }
    EnsureLoggedIn();
    if (const auto found = resources_.find(path); found != resources_.end()) {
        return found->second;
    }
    bool asked = false;
    Net::HttpResponse response = Answer(path, query, asked);
    if (response.status == 401 && login_ == Login::kSession && !logged_in_again_) {
        // The controller restarted its web server or timed the session out: one new session,
        // which is then the one closed; a second refusal is a refused log-in.
        logged_in_again_ = true;
        reporter_(Severity::kNote, Cause::kSession,
                  "the session ended (HTTP 401 at " + path + "); logged in again", std::string());
        fetched_.clear();  // asked for with the old session
        LogOut(false);     // where the session lives on after all, it is not left open
        LogIn();
        response = Answer(path, query, asked);
    }
    Json json = Interpret(response, path);
    if (query == Query::kExpand) {
        Unfold(json, path, asked);
    }
    return resources_.emplace(path, std::move(json)).first->second;
}

void Client::Unfold(Json& page, const std::string& path, bool asked) {
    const auto list = page.find("Members");
    if (list == page.end() || !list->is_array()) {
        return;
    }
    // Only members inside the collection: an expanded page does not speak for other resources.
    const std::string collection = path.substr(0, path.find('?')) + "/";
    std::size_t expanded = 0;
    for (Json& member : *list) {
        const std::string id = Link(member, {});
        const std::optional<std::string> at =
            id.empty() ? std::nullopt : PathOnEndpoint(id, endpoint_);
        if (!member.is_object() || member.size() < 2 || !at || at->rfind(collection, 0) != 0 ||
            resources_.count(*at) != 0) {
            continue;
        }
        ++expanded;
        resources_.emplace(*at, std::move(member));
        member = Json{{"@odata.id", id}};
    }
    if (asked && expanded == 0 && !list->empty()) {
        reporter_(Severity::kNote, Cause::kBadAnswer,
                  "the service offers $expand but did not expand " + path +
                      "; members are read one by one and it is not asked for again",
                  std::string());
        expand_.clear();
    }
}

void Client::FetchAhead(const std::vector<std::string>& paths) {
    std::size_t workers = std::min<std::size_t>(paths.size(), policy_.connections);
    try {
        while (more_transports_.size() + 1 < workers) {
            more_transports_.push_back(policy_.connect());
        }
    } catch (const Net::TransportError&) {
        workers = more_transports_.size() + 1;  // as many as could be made
    }
    std::vector<Fetched> fetched(paths.size());
    const Net::Bounds bounds = ScanBounds();
    std::atomic<std::size_t> next{0};
    const auto work = [&](Net::Transport* transport) {
        for (std::size_t i = next++; i < paths.size(); i = next++) {
            Fetched& each = fetched[i];
            each.target = Target(paths[i], Query::kSelect);
            try {
                each.response = Send(*transport, "GET", each.target, std::string(), true, bounds);
            } catch (const Error& error) {
                each.error = error;
            } catch (...) {
                each.other = std::current_exception();
            }
        }
    };
    std::vector<std::thread> threads;
    try {
        for (std::size_t k = 1; k < workers; ++k) {
            threads.emplace_back(work, more_transports_[k - 1].get());
        }
    } catch (...) {
        next = paths.size();  // no thread: the ones started stop, and the caller is told
        for (std::thread& thread : threads) {
            thread.join();
        }
        throw;
    }
    work(transport_.get());
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        fetched_[paths[i]] = std::move(fetched[i]);
    }
}

std::vector<const Json*> Client::Collect(const std::vector<std::string>& links,
                                         const std::string& context, std::vector<Unread>& unread) {
    std::vector<const Json*> resources;
    std::set<std::string> seen;
    std::vector<std::string> paths;  // each once, on this endpoint, in order
    for (const std::string& link : links) {
        const std::optional<std::string> path = PathOnEndpoint(link, endpoint_);
        if (!path) {
            unread.push_back({Net::Shown(link), Cause::kBadAnswer,
                              "the service sent a link that is not a path on this endpoint (" +
                                  Net::Shown(link) + ")"});
            continue;
        }
        if (!seen.insert(*path).second) {
            reporter_(Severity::kNote, Cause::kBadAnswer,
                      *path + " is named more than once among " + context + "; taken once",
                      std::string());
            continue;
        }
        paths.push_back(*path);
    }
    const bool at_once = policy_.connections > 1 && policy_.connect && paths.size() > 1;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        try {
            if (at_once && resources_.count(paths[i]) == 0 && fetched_.count(paths[i]) == 0) {
                EnsureLoggedIn();
                // The next ones not read yet, one per connection: a batch at a time keeps what
                // is held unread to a few answers.
                std::vector<std::string> batch;
                for (std::size_t k = i; k < paths.size() && batch.size() < policy_.connections;
                     ++k) {
                    if (resources_.count(paths[k]) == 0) {
                        batch.push_back(paths[k]);
                    }
                }
                FetchAhead(batch);
            }
            resources.push_back(&Fetch(paths[i], Query::kSelect));
        } catch (const Error& error) {
            if (Net::EndsClient(error.cause())) {
                throw;
            }
            unread.push_back({paths[i], error.cause(), error.what()});
        }
    }
    return resources;
}

void Client::Settle(const std::vector<Unread>& unread, const std::string& context) {
    if (unread.empty()) {
        return;
    }
    if (policy_.partial) {
        for (const Unread& each : unread) {
            reporter_(Severity::kWarning, each.cause, each.why + "; left out of " + context,
                      each.what);
        }
        return;
    }
    // Each named, up to a line a person reads; a service that fails thousands is told in short.
    constexpr std::size_t kNamed = 10;
    std::string message = std::to_string(unread.size()) + " of " + context + " could not be read: ";
    for (std::size_t i = 0; i < unread.size() && i < kNamed; ++i) {
        message += (i == 0 ? "" : "; ") + unread[i].why;
    }
    if (unread.size() > kNamed) {
        message += "; and " + std::to_string(unread.size() - kNamed) + " more";
    }
    Fail(Error(unread.front().cause, message,
               "--partial writes the document without what could not be read"));
}

std::vector<const Json*> Client::Resources(const std::vector<std::string>& links,
                                           const std::string& context) {
    std::vector<Unread> unread;
    std::vector<const Json*> resources = Collect(links, context, unread);
    Settle(unread, context);
    return resources;
}

std::vector<const Json*> Client::Members(const std::string& link) {
    const std::string collection = PathOf(link);
    const std::string context = "the members of " + collection;
    std::vector<std::string> members;
    std::vector<Unread> unread;
    std::set<std::string> seen_pages{collection};
    const Json* page = &Fetch(collection, Query::kExpand);
    for (std::size_t pages = 1;; ++pages) {
        const auto list = page->find("Members");
        if (list == page->end() || !list->is_array()) {
            Fail(Error(Cause::kBadAnswer, collection + " is not a collection (no Members list)"));
        }
        for (const Json& member : *list) {
            if (std::string id = Link(member, {}); !id.empty()) {
                members.push_back(std::move(id));
            } else {
                unread.push_back({"a member without @odata.id", Cause::kBadAnswer,
                                  "a member of " + collection + " has no @odata.id"});
            }
        }
        const std::string next = Text(*page, {"Members@odata.nextLink"});
        if (next.empty()) {
            break;
        }
        const std::string next_path = PathOf(next);
        if (!seen_pages.insert(next_path).second || pages >= policy_.max_pages) {
            Fail(Error(Cause::kPagingLoop, "the pages of " + collection + " lead back to " +
                                               next_path + "; reading stopped"));
        }
        page = &Fetch(next_path, Query::kExpand);
    }
    std::vector<const Json*> resources = Collect(members, context, unread);
    Settle(unread, context);
    return resources;
}

const Json* Client::FirstMember(const std::string& link) {
    const std::string collection = PathOf(link);
    const Json& page = Fetch(collection, Query::kExpand);
    const auto list = page.find("Members");
    if (list == page.end() || !list->is_array()) {
        Fail(Error(Cause::kBadAnswer, collection + " is not a collection (no Members list)"));
    }
    const std::string first = list->empty() ? std::string() : Link(list->front(), {});
    return first.empty() ? nullptr : &Get(first);
}

void Client::LogOut(bool tell) noexcept {
    if (login_ == Login::kSession && !session_path_.empty()) {
        try {
            // Neither cancelled nor held to the endpoint's time, but to a short limit of its own.
            const Net::Bounds log_out{policy_.now() + policy_.log_out_limit, nullptr, policy_.now};
            const Net::HttpResponse response =
                Exchange("DELETE", session_path_, std::string(), true, log_out);
            if (tell && response.status != 404 &&
                (response.status < 200 || response.status > 299)) {
                reporter_(Severity::kWarning, Cause::kSession,
                          "the session " + session_path_ + " could not be closed (HTTP " +
                              std::to_string(response.status) + ")",
                          std::string());
            }
        } catch (const std::exception& error) {
            try {
                if (tell) {
                    reporter_(Severity::kWarning, Cause::kSession,
                              "the session " + session_path_ + " could not be closed (" +
                                  error.what() + ")",
                              std::string());
                }
            } catch (...) {
            }
        } catch (...) {
        }
    }
    login_ = Login::kNone;
    token_.clear();
    session_path_.clear();
}

void Client::Close() noexcept {
    LogOut(true);
    log_in_failed_.reset();
    logged_in_again_ = false;
    fetched_.clear();
    queries_known_ = false;
    expand_.clear();
    select_ = false;
    basic_because_.clear();
}

}  // namespace Tesmora::Redfish
