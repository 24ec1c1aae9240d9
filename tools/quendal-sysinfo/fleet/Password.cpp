#include "Password.h"

#include <cstdlib>
#include <iostream>

#include "SysinfoOutput.h"
#include "Terminal.h"

namespace Quendal::Tool {

std::string ObtainPassword(const PasswordSources& sources) {
    if (sources.file) {
        SecretFile secret;
        try {
            secret = ReadSecretFile(*sources.file, kMaxPasswordBytes);
        } catch (const FileError& error) {
            throw UsageError(error.what());
        }
        std::string& password = secret.first_line;
        if (!password.empty() && password.back() == '\r') {
            password.pop_back();
        }
        if (password.empty()) {
            throw UsageError(*sources.file + ": the password file holds no password");
        }
        if (secret.readable_by_others) {
            (sources.warnings != nullptr ? *sources.warnings : std::cerr)
                << "quendal-sysinfo: warning: " << *sources.file
                << ": other users may read this password file (chmod 600 it)\n";
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
