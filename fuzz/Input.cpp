#include "Input.h"

#include <cstdio>
#include <cstdlib>

namespace Quendal::Fuzz {

void Broken(const std::string& what, const std::string& detail) {
    std::fprintf(stderr, "broken: %s\n%s\n", what.c_str(), detail.c_str());
    std::abort();
}

}  // namespace Quendal::Fuzz
