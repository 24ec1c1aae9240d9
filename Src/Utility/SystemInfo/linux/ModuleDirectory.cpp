#include <dlfcn.h>

#include "Src/Utility/SystemInfo/ModuleDirectory.h"

namespace Quendal::ModuleDirectory {

namespace {
// Any constant of this image would do; the function's name lies in the module's own data.
constexpr char kSelfMarker[] = "GetSelfModuleHandle";
}  // namespace

ModuleHandle GetSelfModuleHandle() {
    Dl_info info;
    if (dladdr(kSelfMarker, &info) != 0) {
        return info.dli_fbase;
    }
    return nullptr;
}

std::string GetModuleDirectory(ModuleHandle module) {
    Dl_info info;
    if (module == nullptr || dladdr(module, &info) == 0 || info.dli_fname == nullptr) {
        return std::string();
    }
    const std::string file(info.dli_fname);
    const auto separator = file.find_last_of('/');
    return separator == std::string::npos ? file : file.substr(0, separator + 1);
}

}  // namespace Quendal::ModuleDirectory
