// Where the password of a remote endpoint comes from. Never from the command line, where other
// users of the machine could read it: from a file, from an environment variable, or typed at
// the terminal without echo, in that order of preference.
//
// Throws UsageError when no source gives one; the message never holds the password.
//
// A password file is read up to its first line end; it may be a regular file or a pipe. On
// Linux, as ssh does with keys, a regular file that its group or any user may write is refused
// (whoever writes it chooses what is sent), and one that the group or others may read, or that
// lies in a folder they may write to without the sticky bit (they could replace it), is taken
// with a warning. Windows has no such bits to check, and takes the file as it is.
//
// Before any source is read the process is guarded for holding a secret (GuardSecrets,
// FleetSystem.h). The password read is returned without copies left behind by the tool; the
// caller wipes it (WipeSecret, ReplaceFile.h) once the scans are done. The environment variable
// itself, and the standard input's buffer a typed one passed through, are not the tool's to wipe.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

namespace Quendal::Tool {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Far more than any password; a file without a line end (say /dev/zero behind a pipe) is cut
// off here instead of being read whole.
constexpr std::size_t kMaxPasswordBytes = 4096;

struct PasswordSources {
    std::optional<std::string> file;               // --password-file: its first line
    std::string environment = "QUENDAL_PASSWORD";  // --password-env: read when set
    std::string prompt;                            // shown when asking at the terminal
    std::ostream* warnings = nullptr;              // nullptr: the standard error stream
};

std::string ObtainPassword(const PasswordSources& sources);

}  // namespace Quendal::Tool
