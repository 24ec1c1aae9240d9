// The systems lists the system check is given: machine types one per line, '#' starting a
// comment, blank lines ignored, surrounding blanks trimmed. Read afresh on every call, so that
// an updated list counts at once; safe to call from several threads.
//
// The module names each list next to its own file, which is where a Windows install and a build
// tree keep them. A Linux install keeps data apart from libraries: a list missing at the path
// given is read from the install's shared data folder instead, found from the path's directory
// (the library directory: lib/<multiarch>/ on Debian) by the relative path the build was
// configured with (QUENDAL_LISTS_FROM_LIBDIR, ../../share/quendal_system_info there). A bare file
// name has no such directory and no second place.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace Tesmora {

// Whether machine_type is on one of the lists; sets any_readable when a list could be opened.
// Lists that cannot be opened at either place are skipped.
bool Listed(const std::vector<std::string>& lists, const std::string& machine_type,
            bool& any_readable);

// For a message when none could be read: the lists' file names and each folder they were looked
// for in, "A.txt, B.txt in /usr/lib/x86_64-linux-gnu/ and /usr/share/quendal_system_info/".
std::string WhereListsAreLooked(const std::vector<std::string>& lists);

}  // namespace Tesmora
