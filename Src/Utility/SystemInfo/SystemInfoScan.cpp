#include "SystemInfo.h"

// The defaulted assignment operators stay trivial, yet callers of the library expect to find
// them in its export list; naming them here makes the compiler emit them in this library.
[[gnu::used]] static SystemInfoScan& (SystemInfoScan::*const kKeepCopyAssign)(
    const SystemInfoScan&) = &SystemInfoScan::operator=;
[[gnu::used]] static SystemInfoScan& (SystemInfoScan::*const kKeepMoveAssign)(SystemInfoScan&&) =
    &SystemInfoScan::operator=;
