// The systems lists the system check is given: machine types one per line, '#' starting a
// comment, blank lines ignored, surrounding blanks trimmed. Read afresh on every call, so that
// an updated list counts at once; safe to call from several threads.
//
// The module names each list next to its own file, which is where a Windows install and a build
// tree keep them. A Linux install keeps data apart from libraries: a list missing at the path
// given is read from <dir>/../share/quendal_system_info/ instead, <dir> being the path's
// directory (lib/ next to share/). A bare file name has no such directory and no second place.
#pragma once

#include <string>
#include <vector>

namespace Tesmora {

// Whether machine_type is on one of the lists; sets any_readable when a list could be opened.
// Lists that cannot be opened at either place are skipped.
bool Listed(const std::vector<std::string>& lists, const std::string& machine_type,
            bool& any_readable);

}  // namespace Tesmora
