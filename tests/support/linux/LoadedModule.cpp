#include <link.h>

#include "support/LoadedModule.h"

namespace Quendal::Testing {

std::string LoadedModuleDirectory(const std::string& name_part) {
    struct Search {
        const std::string* name_part;
        std::string path;
    } search{&name_part, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* wanted = static_cast<Search*>(data);
            const std::string name = info->dlpi_name == nullptr ? "" : info->dlpi_name;
            if (name.find(*wanted->name_part) == std::string::npos) {
                return 0;
            }
            wanted->path = name;
            return 1;
        },
        &search);
    const auto slash = search.path.find_last_of('/');
    return slash == std::string::npos ? std::string() : search.path.substr(0, slash + 1);
}

}  // namespace Quendal::Testing
