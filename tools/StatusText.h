// Human-readable meaning of the status values the module's scans return: the registry's
// message for registered statuses, a fixed text for the module's plain values.
//
// Reads the registry, which is complete once the program has loaded; safe from any thread.
#pragma once

#include <string>

namespace Quendal::Tool {

// "Succeed.", "Internal error.", ... or "Unknown status." for a value nobody registered.
std::string StatusText(int status);

}  // namespace Quendal::Tool
