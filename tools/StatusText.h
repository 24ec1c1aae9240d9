// Human-readable meaning of the status values the module's scans return: the text the status
// list gives a status, a fixed text for the module's plain values.
//
// Reads a table fixed at compile time (common/StatusTable.h) rather than the registry: the
// module holds the registry already, and a second copy in the tool would be built again at
// every start. Safe from any thread.
#pragma once

#include <string>

namespace Quendal::Tool {

// "Succeed.", "Internal error.", ... or "Unknown status." for a value nobody registered.
std::string StatusText(int status);

}  // namespace Quendal::Tool
