// The endpoint file of a fleet: which endpoints to scan and how to log in to each (format:
// docs/fleet.md).
//
// Contract. Two forms, told apart by content: a first character other than a blank that is '{'
// makes it JSON ({"endpoints": [{...}, ...]}), anything else CSV (a header row naming the
// columns, then one endpoint per line; blank lines and lines starting with '#' are skipped;
// fields may be quoted with '"', a quote inside doubled; no line breaks inside fields). Both
// carry the same fields: kind, host, port, user, password_env, password_file, password, bay,
// pin.
//
// The whole file is checked before anything is scanned, and every problem found is told at once
// (up to kMaxProblems), each as "FILE:LINE: FIELD: what is wrong", in one UsageError:
//   - kind is one of server, smm, cmm, switch, esxi; host is what --host takes (NAME, IPv4 or
//     [IPv6], optional :PORT); a port in host and in port must agree; without either, 443
//     (5989 for esxi);
//   - bay is required for switch and refused for the other kinds (1 to kMaxBay);
//   - at most one password source; an inline password only when InlinePasswordsRefused has no
//     objection to the file (FleetSystem.h), so that a password never sits in a file others
//     can read;
//   - unknown fields or columns are refused, so that a misspelt password_env is not silently
//     replaced by the default;
//   - two endpoints with the same kind, host (letter case aside), port and bay are duplicates;
//   - pin holds pins (Tesmora::CanonicalPin), in CSV separated by blanks, in JSON a text or a
//     list of texts; endpoints that share a host and port (one certificate) and both have pins
//     must have the same ones.
// Users and passwords themselves are not looked up here: Fleet.cpp does that.
//
// Pure apart from ReadFleetFile's reading of the file; nothing else is thrown but bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Quendal::Tool {

enum class FleetKind { kServer, kSmm, kCmm, kSwitch, kEsxi };

// "server", "smm", "cmm", "switch", "esxi".
const char* KindName(FleetKind kind);

enum class PasswordFrom { kDefault, kEnvironment, kFile, kInline };

struct FleetEndpoint {
    FleetKind kind = FleetKind::kServer;
    std::string host;  // IPv6 without brackets
    std::uint16_t port = 0;
    std::string bay;   // switch only
    std::string user;  // empty: the run's default user
    PasswordFrom password_from = PasswordFrom::kDefault;
    // The variable's name, the file's path (a relative one already joined to the endpoint
    // file's folder) or the password itself.
    std::string password_source;
    std::vector<std::string> pins;  // the keys its certificate may have, in their one form
    std::size_t line = 0;           // where the endpoint is written
    std::string text;               // as written: the CSV line, or the JSON object on one line
};

struct FleetFile {
    bool json = false;
    std::string csv_header;  // the header line as written
    std::size_t csv_header_line = 0;
    std::vector<FleetEndpoint> endpoints;
};

inline constexpr std::size_t kMaxProblems = 20;

// name is what error messages call the file; folder is where relative password files lie;
// inline_refused is why an inline password may not be used (nullopt: it may).
FleetFile ParseFleetFile(const std::string& text, const std::string& name,
                         const std::string& folder,
                         const std::optional<std::string>& inline_refused);

// Reads and parses the file at path; throws UsageError also when it cannot be read. The file may
// hold passwords: the process is guarded first (GuardSecrets, FleetSystem.h), and the text read
// is wiped once parsed, unless the caller asks for it in content, and then wipes it itself.
FleetFile ReadFleetFile(const std::string& path, std::string* content = nullptr);

// A host name as endpoints are told apart by it: in lower case, as names are looked up.
std::string HostKeyOf(std::string host);

// "host:port", IPv6 addresses in brackets: how the backends name an endpoint in diagnostics.
std::string AuthorityOf(const std::string& host, std::uint16_t port);

// What a table or a progress line calls the endpoint: its authority, and " bay N" for a switch.
std::string LabelOf(const FleetEndpoint& endpoint);

// The file name of the endpoint's document: kind, host, port and, for a switch, the bay, e.g.
// "server-192.0.2.30-443.json", "switch-cmm1.example.net-443-bay2.xml"; the host in lower case
// with every character other than a letter, a digit, '.' and '-' (an IPv6 colon, say) as '_',
// so that the name is the same and valid on every platform and never holds a path separator.
std::string DocumentNameOf(const FleetEndpoint& endpoint, const std::string& extension);

// What the endpoint is reached at, whatever is scanned there: its host in lower case and its
// port. Endpoints with one key share a log-in (a CMM and the switches in its bays).
std::string EndpointKeyOf(const FleetEndpoint& endpoint);

// Which of shards shards the endpoint belongs to: from a hash (FNV-1a) of its key, so that an
// endpoint keeps its shard when others are added or removed, and the switches of one chassis stay
// with their CMM (one log-in serves them all).
std::size_t ShardOf(const FleetEndpoint& endpoint, std::size_t shards);

// The endpoints in the file's own form (JSON or CSV), each as it was written.
std::string FleetFileText(const FleetFile& file, const std::vector<FleetEndpoint>& endpoints);

}  // namespace Quendal::Tool
