#include "Password.h"

#include <cstdlib>
#include <fstream>

#include "Terminal.h"

namespace Quendal::Tool {

std::string ObtainPassword(const PasswordSources& sources) {
    if (sources.file) {
        std::ifstream file(*sources.file, std::ios::binary);
        if (!file) {
            throw UsageError(*sources.file + ": cannot read the password file");
        }
        std::string password;
        std::getline(file, password);
        if (!password.empty() && password.back() == '\r') {
            password.pop_back();
        }
        if (password.empty()) {
            throw UsageError(*sources.file + ": the password file holds no password");
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
