#include "SystemsLists.h"

#include <fstream>

namespace Tesmora {

namespace {

std::string Trimmed(const std::string& text) {
    const char* const blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

bool Listed(const std::vector<std::string>& lists, const std::string& machine_type,
            bool& any_readable) {
    any_readable = false;
    for (const std::string& path : lists) {
        std::ifstream list(path);
        if (!list) {
            continue;
        }
        any_readable = true;
        std::string line;
        while (std::getline(list, line)) {
            const std::string entry = Trimmed(line.substr(0, line.find('#')));
            if (!entry.empty() && entry == machine_type) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace Tesmora
