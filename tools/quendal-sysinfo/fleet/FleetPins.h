// Pins for a fleet: fleet pin, which fills an endpoint file's pin column from what the
// endpoints present (trust on first use, docs/security.md), and the pins a fleet's scans hold
// each endpoint to.
//
// Contract.
//   - PinFleet reads the certificate of every distinct endpoint of the file (host and port; a
//     CMM and the switches in its bays share one), jobs at once, each within --timeout, sending
//     nothing but a TLS handshake. Then it writes the file again to --output (FileWithPins)
//     with each endpoint's pins, as its status says:
//       pinned       it had none: the key it presents now
//       unchanged    it presents one of its pins: they stay as written
//       changed      it presents another key: its pins stay (a new key, or someone in the
//                    middle), unless replace
//       replaced     with replace, a changed endpoint: the key it presents now, alone
//       unreachable  no certificate was read: it keeps what it had, which may be no pin
//     and prints PinTable to standard output. Returns 0 when every endpoint is pinned, unchanged
//     or replaced, 3 when one is changed or unreachable, 4 when the file cannot be written.
//     Bad input (the file, the options, a password file others could read) throws UsageError
//     before any endpoint is asked. The texts read and written are wiped (WipeSecret) at the
//     end: the file may hold passwords.
//   - FileWithPins is pure: the endpoint file's text with endpoint i's pins as pins[i]. CSV
//     keeps every other line and field as written and adds a pin column when there is none;
//     JSON is written as fleet shard writes it, one endpoint per line. An endpoint whose pins do
//     not change keeps its text.
//   - EndpointPins gives the pins each pinned endpoint's host (in lower case) and port must
//     present during a fleet's scans, for NetworkOptions::endpoint_pins; UsageError when
//     insecure would skip them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Fleet.h"
#include "FleetFile.h"

namespace Quendal::Tool {

struct PinSettings {
    std::string file;
    unsigned int jobs = 16;
    bool replace = false;
};

int PinFleet(const PinSettings& settings, const FleetGlobals& globals);

std::string FileWithPins(const std::string& text, const FleetFile& file,
                         const std::vector<std::vector<std::string>>& pins);

// One endpoint's line of the review table.
struct PinOutcome {
    std::string endpoint;  // host:port
    std::string status;    // pinned, unchanged, changed, replaced, unreachable
    std::string trusted;   // yes or no (whether the system's store vouches), "-" unreachable
    std::string expires;   // the certificate's last day, "-" unreachable
    std::string pin;       // the key it presents, "-" unreachable
    std::string about;     // its subject; for unreachable, why
    std::vector<std::string> old_pins;  // changed: the pins it keeps
};

// The table, a line of counts, and a line for each changed endpoint.
std::string PinTable(const std::vector<PinOutcome>& outcomes, bool replace);

std::map<std::pair<std::string, std::uint16_t>, std::vector<std::string>> EndpointPins(
    const FleetFile& file, bool insecure);

}  // namespace Quendal::Tool
