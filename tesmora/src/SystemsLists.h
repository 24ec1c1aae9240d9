// The systems lists the system check is given: machine types one per line, '#' starting a
// comment, blank lines ignored, surrounding blanks trimmed. Read afresh on every call, so that
// an updated list counts at once; safe to call from several threads.
#pragma once

#include <string>
#include <vector>

namespace Tesmora {

// Whether machine_type is on one of the lists; sets any_readable when a list could be opened.
// Lists that cannot be opened are skipped.
bool Listed(const std::vector<std::string>& lists, const std::string& machine_type,
            bool& any_readable);

}  // namespace Tesmora
