// Where the password of a remote endpoint comes from. Never from the command line, where other
// users of the machine could read it: from a file, from an environment variable, or typed at
// the terminal without echo, in that order of preference.
//
// Throws UsageError when no source gives one; the message never holds the password.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace Quendal::Tool {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PasswordSources {
    std::optional<std::string> file;               // --password-file: its first line
    std::string environment = "QUENDAL_PASSWORD";  // --password-env: read when set
    std::string prompt;                            // shown when asking at the terminal
};

std::string ObtainPassword(const PasswordSources& sources);

}  // namespace Quendal::Tool
