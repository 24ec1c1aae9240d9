#include "Password.h"

#include <cstdlib>
#include <iostream>

#include "FleetSystem.h"
#include "SysinfoOutput.h"
#include "Terminal.h"

namespace Quendal::Tool {

std::string ObtainPassword(const PasswordSources& sources) {
    GuardSecrets();
    if (sources.file) {
        SecretFile secret;
        try {
            secret = ReadSecretFile(*sources.file, kMaxPasswordBytes);
        } catch (const FileError& error) {
            throw UsageError(error.what());
        }
        // Moved, never copied: the caller's string is the only one that holds it.
        std::string password = std::move(secret.first_line);
        if (!password.empty() && password.back() == '\r') {
            password.pop_back();
        }
        if (password.empty()) {
            throw UsageError(*sources.file + ": the password file holds no password");
        }
        std::ostream& warnings = sources.warnings != nullptr ? *sources.warnings : std::cerr;
        if (secret.readable_by_others) {
            warnings << "quendal-sysinfo: warning: " << *sources.file
                     << ": other users may read this password file (chmod 600 it)\n";
        }
        if (secret.folder_writable_by_others) {
            warnings << "quendal-sysinfo: warning: " << *sources.file
                     << ": other users may write to its folder, and so put a file of their own "
                        "in its place (chmod go-w the folder, or keep the file elsewhere)\n";
        }
        return password;
    }
    if (const char* value = std::getenv(sources.environment.c_str())) {
        return value;
    }
    if (StandardInputIsTerminal()) {
        if (auto typed = ReadHiddenLine(sources.prompt)) {
            return *typed;
        }
    }
    throw UsageError("no password: set " + sources.environment +
                     ", pass --password-file FILE, or run at a terminal to be asked");
}

}  // namespace Quendal::Tool
