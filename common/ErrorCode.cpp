#include "common/ErrorCode.h"

#include <map>
#include <string>

namespace {

// Constants in other translation units register themselves during dynamic initialisation, in
// an order nobody controls, so the maps must come into being on first use rather than as
// namespace-scope objects that might still be unconstructed when the first registration runs.
std::map<int, std::string>& MutableGeneralErrorMap() {
    static std::map<int, std::string> general_map;
    return general_map;
}

std::map<int, std::map<int, std::string>>& MutableCategoryErrorMap() {
    static std::map<int, std::map<int, std::string>> category_map;
    return category_map;
}

}  // namespace

int RegisterErrorCode(int category, int code, const char* message) {
    // Shift as unsigned: a negative category would make the signed shift undefined in C++17,
    // while the wrapped bit pattern is exactly the value we want to hand back.
    const int value = static_cast<int>(static_cast<unsigned int>(category) << 16) | code;
    std::string& entry = category <= 0 ? MutableGeneralErrorMap()[value]
                                       : MutableCategoryErrorMap()[category][value];
    entry.assign(message);
    return value;
}

const std::map<int, std::string>& GetGeneralErrorMap() {
    return MutableGeneralErrorMap();
}

const std::map<int, std::map<int, std::string>>& GetCategoryErrorMap() {
    return MutableCategoryErrorMap();
}

namespace Quendal::Status {

#define QUENDAL_STATUS(name, category, code, message) \
    const int name = RegisterErrorCode(category, code, message);
#include "common/StatusList.h"
#undef QUENDAL_STATUS

}  // namespace Quendal::Status
