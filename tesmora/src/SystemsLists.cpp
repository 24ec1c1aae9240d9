#include "SystemsLists.h"

#include <algorithm>
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

// The places a list is looked for, in order: the path given, then its copy in the install's
// shared data folder.
std::vector<std::filesystem::path> Places(const std::string& path) {
    const std::filesystem::path given(path);
    std::vector<std::filesystem::path> places{given};
    if (given.has_parent_path()) {
        places.push_back((given.parent_path() / QUENDAL_LISTS_FROM_LIBDIR).lexically_normal() /
                         given.filename());
    }
    return places;
}

std::ifstream OpenList(const std::string& path) {
    for (const std::filesystem::path& place : Places(path)) {
        std::ifstream list(place);
        if (list) {
            return list;
        }
    }
    std::ifstream none;
    none.setstate(std::ios::failbit);
    return none;
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

std::string WhereListsAreLooked(const std::vector<std::string>& lists) {
    std::string names;
    std::vector<std::string> folders;
    for (const std::string& path : lists) {
        names += (names.empty() ? "" : ", ") + std::filesystem::path(path).filename().string();
        for (const std::filesystem::path& place : Places(path)) {
            const std::filesystem::path folder = place.parent_path();
            const std::string shown =
                folder.empty() ? std::string("the current folder")
                               : (folder / "").lexically_normal().make_preferred().string();
            if (std::find(folders.begin(), folders.end(), shown) == folders.end()) {
                folders.push_back(shown);
            }
        }
    }
    if (lists.empty()) {
        return "no lists given";
    }
    std::string where;
    for (std::size_t index = 0; index < folders.size(); ++index) {
        where += (index == 0 ? "" : index + 1 == folders.size() ? " and " : ", ") + folders[index];
    }
    return names + " in " + where;
}

}  // namespace Tesmora
