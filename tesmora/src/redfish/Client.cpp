#include "redfish/Client.h"

#include <algorithm>
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
    unsigned int attempt = 0;
    int redirects = 0;
    // A wait that would outlast the deadline fails now rather than after the wait.
    const auto wait = [&](std::chrono::milliseconds how_long) {
        CheckBounds(bounds, target, how_long);
        policy_.sleep(how_long);
    };
    for (;;) {
        CheckBounds(bounds, target, std::chrono::milliseconds(0));
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
            response = transport_->Send(request);
        } catch (const Net::TransportError& error) {
            // A log-in is not sent twice: the first may have opened a session already.
            if (Net::Retryable(error.failure()) && attempt < policy_.retries && method != "POST") {
                wait(policy_.first_backoff * (1 << std::min(attempt, 4u)));
                ++attempt;
                continue;
            }
            if (error.failure() == TransportFailure::kTimedOut &&
                request.timeout < policy_.timeout) {
                Fail(Net::EndpointTimeOut(target));  // the endpoint's time, not --timeout
            }
            Fail(Net::ErrorOf(error, endpoint_, target, "service"));
        }
        TS_LOG(4) << method << " " << target << " -> " << response.status << " ("
                  << response.body.size() << " bytes)";

        if (IsRedirect(response.status)) {
            const std::string* location = response.Header("Location");
            const std::optional<std::string> next =
                location ? PathOnEndpoint(*location, endpoint_) : std::nullopt;
            if (!next) {
                Fail(Error(Cause::kRedirect,
                           target + " redirects to another host (" +
                               (location ? Net::Shown(*location) : std::string("nowhere")) +
                               "), which is not followed",
                           "give that host as --host if it is the service"));
            }
            if (++redirects > policy_.max_redirects) {
                Fail(Error(Cause::kRedirect, target + " redirects more than " +
                                                 std::to_string(policy_.max_redirects) + " times"));
            }
            target = *next;
            continue;
        }

        const bool busy = response.status == 429 || response.status == 503;
        if ((busy || response.status >= 500) && attempt < policy_.retries &&
            (method != "POST" || busy)) {
            std::chrono::milliseconds backoff =
                policy_.first_backoff * (1 << std::min(attempt, 4u));
            if (const auto asked = busy ? RetryAfter(response) : std::nullopt) {
                if (*asked > policy_.timeout) {
                    Fail(Error(Cause::kServiceError,
                               "the service is busy and asks to wait " + SecondsText(*asked) +
                                   " before asking for " + target + " again",
                               "try again later, or raise --timeout"));
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
    if (status == 401 || status == 403) {
        Fail(Refused(status, path));
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

void Client::OpenSession() {
    std::string sessions = "/redfish/v1/SessionService/Sessions";
    if (const auto root = resources_.find(kServiceRoot); root != resources_.end()) {
        const std::string collection = Link(root->second, {"Links", "Sessions"});
        if (collection.empty()) {
            login_ = Login::kBasic;  // the service offers no sessions
            return;
        }
        sessions = PathOf(collection);
    }
    const std::string body =
        Json{{"UserName", credentials_.user}, {"Password", credentials_.password}}.dump();
    const Net::HttpResponse response = Exchange("POST", sessions, body, false, ScanBounds());
    const int status = response.status;
    if (status == 401 || status == 403) {
        Fail(Refused(status, sessions));
    }
    if (status == 404 || status == 405 || status == 501) {
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
    // Where to log out: the Location, else the session's own @odata.id; only a path here.
    const std::string* location = response.Header("Location");
    std::optional<std::string> where =
        location ? PathOnEndpoint(*location, endpoint_) : std::nullopt;
    if (location != nullptr && !where) {
        reporter_(Severity::kWarning, Cause::kBadAnswer,
                  "the service sent a session Location that is not a path on this endpoint (" +
                      Net::Shown(*location) + "); it is not followed");
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
    session_path_ = where.value_or(std::string());
    if (session_path_.empty()) {
        reporter_(Severity::kWarning, Cause::kSession,
                  "the service opened a session without saying where; it cannot be closed");
    }
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
    const std::string path = PathOf(link);
    if (const auto found = resources_.find(path); found != resources_.end()) {
        return found->second;
    }
    if (failed_) {
        throw *failed_;
    }
    if (login_ == Login::kNone) {
        Root();
        if (login_ == Login::kNone) {
            LogIn();
        }
        if (const auto found = resources_.find(path); found != resources_.end()) {
            return found->second;
        }
    }
    Json json = Interpret(Exchange("GET", path, std::string(), true, ScanBounds()), path);
    return resources_.emplace(path, std::move(json)).first->second;
}

const Json* Client::Fetch(const std::string& link, const std::string& collection) {
    try {
        return &Get(link);
    } catch (const Error& error) {
        if (Net::EndsClient(error.cause())) {
            throw;
        }
        reporter_(Severity::kWarning, error.cause(),
                  std::string(error.what()) + "; left out of " + collection);
        return nullptr;
    }
}

std::vector<const Json*> Client::Members(const std::string& link) {
    const std::string collection = PathOf(link);
    std::vector<const Json*> members;
    std::set<std::string> seen_members;
    std::set<std::string> seen_pages{collection};
    const Json* page = &Get(collection);
    for (std::size_t pages = 1;; ++pages) {
        const auto list = page->find("Members");
        if (list == page->end() || !list->is_array()) {
            Fail(Error(Cause::kBadAnswer, collection + " is not a collection (no Members list)"));
        }
        for (const Json& member : *list) {
            const std::string id = Link(member, {});
            if (id.empty()) {
                reporter_(Severity::kWarning, Cause::kBadAnswer,
                          "a member of " + collection + " has no @odata.id; left out");
                continue;
            }
            const std::optional<std::string> path_of = PathOnEndpoint(id, endpoint_);
            if (!path_of) {
                reporter_(Severity::kWarning, Cause::kBadAnswer,
                          "the service sent a member link that is not a path on this endpoint (" +
                              Net::Shown(id) + "); left out of " + collection);
                continue;
            }
            const std::string& path = *path_of;
            if (!seen_members.insert(path).second) {
                reporter_(Severity::kNote, Cause::kBadAnswer,
                          collection + " lists " + path + " more than once; taken once");
                continue;
            }
            if (const Json* resource = Fetch(path, collection)) {
                members.push_back(resource);
            }
        }
        const std::string next = Text(*page, {"Members@odata.nextLink"});
        if (next.empty()) {
            return members;
        }
        const std::string next_path = PathOf(next);
        if (!seen_pages.insert(next_path).second || pages >= policy_.max_pages) {
            Fail(Error(Cause::kPagingLoop, "the pages of " + collection + " lead back to " +
                                               next_path + "; reading stopped"));
        }
        page = &Get(next_path);
    }
}

const Json* Client::FirstMember(const std::string& link) {
    const std::string collection = PathOf(link);
    const Json& page = Get(collection);
    const auto list = page.find("Members");
    if (list == page.end() || !list->is_array()) {
        Fail(Error(Cause::kBadAnswer, collection + " is not a collection (no Members list)"));
    }
    const std::string first = list->empty() ? std::string() : Link(list->front(), {});
    return first.empty() ? nullptr : &Get(first);
}

void Client::Close() noexcept {
    if (login_ != Login::kSession || session_path_.empty()) {
        login_ = Login::kNone;
        log_in_failed_.reset();
        return;
    }
    try {
        // Neither cancelled nor held to the endpoint's time, but to a short limit of its own.
        const Net::Bounds log_out{policy_.now() + policy_.log_out_limit, nullptr, policy_.now};
        const Net::HttpResponse response =
            Exchange("DELETE", session_path_, std::string(), true, log_out);
        if (response.status != 404 && (response.status < 200 || response.status > 299)) {
            reporter_(Severity::kWarning, Cause::kSession,
                      "the session " + session_path_ + " could not be closed (HTTP " +
                          std::to_string(response.status) + ")");
        }
    } catch (const std::exception& error) {
        try {
            reporter_(
                Severity::kWarning, Cause::kSession,
                "the session " + session_path_ + " could not be closed (" + error.what() + ")");
        } catch (...) {
        }
    } catch (...) {
    }
    login_ = Login::kNone;
    log_in_failed_.reset();
    token_.clear();
    session_path_.clear();
}

}  // namespace Tesmora::Redfish
