#include <windows.h>

#include "support/LoadedModule.h"

namespace Quendal::Testing {

std::string LoadedModuleDirectory(const std::string& name_part) {
    HMODULE module = GetModuleHandleA(name_part.c_str());
    char path[MAX_PATH] = {};
    if (module == nullptr || GetModuleFileNameA(module, path, MAX_PATH) == 0) {
        return std::string();
    }
    const std::string file(path);
    const auto separator = file.find_last_of('\\');
    return separator == std::string::npos ? std::string() : file.substr(0, separator + 1);
}

}  // namespace Quendal::Testing
