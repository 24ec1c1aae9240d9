#include <windows.h>

#include "Src/Utility/SystemInfo/ModuleDirectory.h"

namespace Quendal::ModuleDirectory {

namespace {
// Any constant of this image would do; the function's name lies in the module's own data.
constexpr char kSelfMarker[] = "GetSelfModuleHandle";
}  // namespace

ModuleHandle GetSelfModuleHandle() {
    MEMORY_BASIC_INFORMATION memory_information;
    if (VirtualQuery(kSelfMarker, &memory_information, sizeof(memory_information)) != 0) {
        return memory_information.AllocationBase;
    }
    return nullptr;
}

std::string GetModuleDirectory(ModuleHandle module) {
    char path[MAX_PATH] = {};
    if (GetModuleFileNameA(static_cast<HMODULE>(module), path, MAX_PATH) == 0) {
        return std::string();
    }
    const std::string file(path);
    const auto separator = file.find_last_of('\\');
    return separator == std::string::npos ? file : file.substr(0, separator + 1);
}

}  // namespace Quendal::ModuleDirectory
