#include <windows.h>

#include "ReplaceFile.h"

namespace Quendal::Tool {

namespace {

// The C library's strerror knows nothing of GetLastError's codes.
std::string Reason(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = length == 0 ? "error " + std::to_string(error) : std::string(text, length);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
        reason.pop_back();
    }
    return reason;
}

}  // namespace

std::string RenameOver(const std::string& from, const std::string& to) {
    // The narrow (ANSI code page) calls, like the C library that wrote the file. Copying is not
    // allowed: a move across volumes would no longer be a single step.
    const HANDLE file = CreateFileA(from.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Reason(GetLastError());
    }
    const BOOL flushed = FlushFileBuffers(file);
    const DWORD flush_error = GetLastError();
    CloseHandle(file);
    if (!flushed) {
        return Reason(flush_error);
    }
    if (!MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return Reason(GetLastError());
    }
    return std::string();
}

}  // namespace Quendal::Tool
