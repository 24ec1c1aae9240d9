#include "SystemsLists.h"

#include <filesystem>
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

// The list at path, or else its copy in the install's shared data directory.
std::ifstream OpenList(const std::string& path) {
    std::ifstream list(path);
    const std::filesystem::path given(path);
    if (!list && given.has_parent_path()) {
        list.open(given.parent_path() / ".." / "share" / "quendal_system_info" / given.filename());
    }
    return list;
}

}  // namespace

bool Listed(const std::vector<std::string>& lists, const std::string& machine_type,
            bool& any_readable) {
    any_readable = false;
    for (const std::string& path : lists) {
        std::ifstream list = OpenList(path);
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
