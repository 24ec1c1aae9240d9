// Where the process actually loaded a shared library from, found independently of the module's
// own code so that tests can check what the module works out about itself.
#pragma once

#include <string>

namespace Quendal::Testing {

// The directory, with its trailing separator, of the loaded module whose file name contains
// name_part; empty when no such module is loaded.
std::string LoadedModuleDirectory(const std::string& name_part);

}  // namespace Quendal::Testing
