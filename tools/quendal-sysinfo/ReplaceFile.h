// Putting a finished file in place of another in one step. One implementation per platform
// (linux/, windows/), because a plain rename does not promise on every system to replace an
// existing file, nor to have the data on disk before the new name refers to it.
#pragma once

#include <string>

namespace Quendal::Tool {

// Flushes the file at from to disk, then renames it to to, replacing any file there; a reader
// of to sees the old or the new content, never a mixture. Both paths must lie on one volume.
// Returns an empty text on success, else the system's reason; from is left where it was.
// (Not named ReplaceFile: the Windows headers define that name as a macro.)
std::string RenameOver(const std::string& from, const std::string& to);

}  // namespace Quendal::Tool
