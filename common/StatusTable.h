// The statuses of common/StatusList.h as a table fixed at compile time: value and message of
// each, in list order. For code that needs the texts without building the registry, such as the
// tool, whose process already holds the registry once, inside the module.
#pragma once

#include <cstddef>
#include <string_view>

namespace Quendal::Status {

struct StatusEntry {
    int value;  // (category << 16) | code, as RegisterErrorCode computes it
    std::string_view message;
};

inline constexpr StatusEntry kStatusTable[] = {
#define QUENDAL_STATUS(name, category, code, message) \
    {static_cast<int>(static_cast<unsigned int>(category) << 16) | (code), message},
#include "common/StatusList.h"
#undef QUENDAL_STATUS
};

// The registry keeps the last text registered for a value; the table has one entry per value,
// so that finding the first one gives the same text.
constexpr bool ValuesAreDistinct() {
    for (std::size_t i = 0; i < std::size(kStatusTable); ++i) {
        for (std::size_t j = i + 1; j < std::size(kStatusTable); ++j) {
            if (kStatusTable[i].value == kStatusTable[j].value) {
                return false;
            }
        }
    }
    return true;
}
static_assert(ValuesAreDistinct(), "two lines of StatusList.h give the same status");

// The entry of a status value, or nullptr for a value the list does not hold.
constexpr const StatusEntry* FindStatus(int value) {
    for (const StatusEntry& entry : kStatusTable) {
        if (entry.value == value) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace Quendal::Status
