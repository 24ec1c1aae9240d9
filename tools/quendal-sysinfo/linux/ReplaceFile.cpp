#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "ReplaceFile.h"

namespace Quendal::Tool {

namespace {
std::string Reason(int error) {
    return std::generic_category().message(error);
}
}  // namespace

std::string RenameOver(const std::string& from, const std::string& to) {
    // Without the fsync a crash soon after the rename can leave an empty file under the new
    // name on file systems that delay allocation.
    const int descriptor = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return Reason(errno);
    }
    const int synced = fsync(descriptor);
    const int sync_error = errno;
    close(descriptor);
    if (synced != 0) {
        return Reason(sync_error);
    }
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        return Reason(errno);
    }
    return std::string();
}

}  // namespace Quendal::Tool
