// rand_s is declared only on request, and before anything includes stdlib.h.
#define _CRT_RAND_S
#include <stdlib.h>
// windows.h first: aclapi.h relies on its types.
#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <cstdint>
#include <memory>

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

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw FileError(path + ": " + why);
}

// Paths come as the C library sees them, in the ANSI code page; the wide calls are the ones
// that take every flag needed here.
std::wstring Wide(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void Close() {
        if (valid()) {
            CloseHandle(handle_);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

// Temporaries are named ".NAME.quendal-PID-RANDOM.tmp": the name ties them to their target, the
// process id tells whether their writer still runs.
constexpr std::size_t kNameKept = 64;
constexpr std::size_t kRandomDigits = 16;
constexpr wchar_t kSuffix[] = L".tmp";

std::wstring TemporaryPrefix(const std::wstring& name) {
    std::wstring kept = name.substr(0, kNameKept);
    // Half a surrogate pair is no character.
    if (!kept.empty() && kept.back() >= 0xD800 && kept.back() <= 0xDBFF) {
        kept.pop_back();
    }
    return L"." + kept + L".quendal-";
}

DWORD WriterOf(const std::wstring& entry, const std::wstring& prefix) {
    constexpr std::size_t kSuffixLength = sizeof kSuffix / sizeof kSuffix[0] - 1;
    if (entry.compare(0, prefix.size(), prefix) != 0) {
        return 0;
    }
    const std::wstring rest = entry.substr(prefix.size());
    const std::size_t dash = rest.find(L'-');
    if (dash == std::wstring::npos || dash == 0 || dash > 9 ||
        rest.size() != dash + 1 + kRandomDigits + kSuffixLength ||
        rest.compare(rest.size() - kSuffixLength, kSuffixLength, kSuffix) != 0) {
        return 0;
    }
    const auto is_digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
    const auto is_hex = [&](wchar_t c) { return is_digit(c) || (c >= L'a' && c <= L'f'); };
    if (!std::all_of(rest.begin(), rest.begin() + dash, is_digit) ||
        !std::all_of(rest.begin() + dash + 1, rest.end() - kSuffixLength, is_hex)) {
        return 0;
    }
    return static_cast<DWORD>(std::stoul(rest.substr(0, dash)));
}

bool IsRunning(DWORD process_id) {
    const Handle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, process_id));
    if (!process.valid()) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// A writer keeps its temporary open without sharing deletion until it is renamed, so deleting
// a temporary whose process id was meanwhile reused by a stranger still fails while it is open.
void RemoveStaleTemporaries(const std::wstring& directory, const std::wstring& name) {
    const std::wstring prefix = TemporaryPrefix(name);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((directory + prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const DWORD writer = WriterOf(found.cFileName, prefix);
        if (writer != 0 && !IsRunning(writer) &&
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                0) {
            DeleteFileW((directory + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::wstring RandomDigits() {
    static constexpr wchar_t kHex[] = L"0123456789abcdef";
    std::wstring digits;
    while (digits.size() < kRandomDigits) {
        unsigned int value = 0;
        if (rand_s(&value) != 0) {
            throw FileError("no random numbers from the system");
        }
        for (int nibble = 0; nibble < 8 && digits.size() < kRandomDigits; ++nibble) {
            digits += kHex[(value >> (4 * nibble)) & 0xF];
        }
    }
    return digits;
}

// Whether the last part of path is one of the names Windows reserves for devices in every
// directory (NUL, CON, COM1, "nul.txt" as well). They are told by name: opening one may block (a
// serial port) or fail with an unrelated error (a console in a process that has none).
bool IsDeviceName(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/:");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    name = name.substr(0, name.find(L'.'));
    while (!name.empty() && name.back() == L' ') {
        name.pop_back();
    }
    for (wchar_t& c : name) {
        c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    }
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (name == device) {
            return true;
        }
    }
    return name.size() == 4 &&
           (name.compare(0, 3, L"COM") == 0 || name.compare(0, 3, L"LPT") == 0) &&
           name[3] >= L'1' && name[3] <= L'9';
}

// What is at path, when something is: only a plain file on a disk may be replaced or read.
// Devices opened under other names (\\.\COM1) tell their type once open.
std::string NotAPlainFile(const std::wstring& path, DWORD& error) {
    if (IsDeviceName(path)) {
        error = ERROR_SUCCESS;
        return "not a regular file (a device or a pipe)";
    }
    const Handle file(CreateFileW(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        error = GetLastError();
        return std::string();
    }
    error = ERROR_SUCCESS;
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        return "not a regular file (a device or a pipe)";
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.get(), &information)) {
        error = GetLastError();
        return std::string();
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "not a regular file (a directory)";
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return "not a regular file (a symbolic link or another reparse point)";
    }
    return std::string();
}

// A DACL set on the file itself, rather than inherited from its directory, is what makes a
// file private on Windows: the new file gets the same one. An inherited DACL comes to the new
// file by itself.
bool CopyOwnDacl(const std::wstring& from, HANDLE to) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const std::unique_ptr<void, HLOCAL (*)(HLOCAL)> release(descriptor, &LocalFree);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        return false;
    }
    if ((control & SE_DACL_PROTECTED) == 0 || dacl == nullptr) {
        return true;
    }
    return SetSecurityInfo(to, SE_FILE_OBJECT,
                           DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                           nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

bool WriteAll(HANDLE file, std::string_view text) {
    while (!text.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, text.data(), chunk, &written, nullptr)) {
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

// The handle is the caller's to close.
HANDLE OpenForReading(const std::string& path) {
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            Fail(path, "not a regular file (a directory)");
        }
        Fail(path, "cannot open: " + Reason(error));
    }
    return file;
}

// Copying is not allowed: a move across volumes would no longer be a single step. Another
// process (a virus scanner, an indexer, a reader, another writer of the same file) may hold the
// target open for a moment, which makes the rename fail with a sharing error; a short wait
// usually ends that. GetLastError tells the last failure.
bool MoveOver(const std::wstring& from, const std::wstring& to) {
    constexpr int kAttempts = 40;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
            attempt == kAttempts) {
            SetLastError(error);
            return false;
        }
        Sleep(static_cast<DWORD>(5 * attempt));
    }
}

}  // namespace

void ReplaceFileWith(const std::string& path, std::string_view text) {
    const std::wstring target = Wide(path);
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring directory = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring name = slash == std::wstring::npos ? target : target.substr(slash + 1);
    if (name.empty() || name == L"." || name == L"..") {
        Fail(path, "not a regular file (a directory)");
    }
    DWORD error = ERROR_SUCCESS;
    const std::string refusal = NotAPlainFile(target, error);
    if (!refusal.empty()) {
        Fail(path, refusal + "; refusing to replace it");
    }
    const bool exists = error == ERROR_SUCCESS;
    if (!exists && error != ERROR_FILE_NOT_FOUND) {
        Fail(path, "cannot write: " + Reason(error));
    }

    RemoveStaleTemporaries(directory, name);
    std::wstring temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 8 && created == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = directory + TemporaryPrefix(name) + std::to_wstring(GetCurrentProcessId()) +
                    L"-" + RandomDigits() + kSuffix;
        // No sharing: nobody reads a half-written file, nor deletes it from under the writer.
        created = CreateFileW(temporary.c_str(), GENERIC_WRITE | WRITE_DAC, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            Fail(path, "cannot write: " + Reason(GetLastError()));
        }
    }
    if (created == INVALID_HANDLE_VALUE) {
        Fail(path, "cannot write: " + Reason(ERROR_FILE_EXISTS));
    }
    Handle file(created);
    const auto abandon = [&](const std::string& why) {
        const DWORD failure = GetLastError();
        file.Close();
        DeleteFileW(temporary.c_str());
        Fail(path, why + ": " + Reason(failure));
    };
    if (exists && !CopyOwnDacl(target, file.get())) {
        abandon("cannot give the new file the permissions of the old one");
    }
    if (!WriteAll(file.get(), text) || !FlushFileBuffers(file.get())) {
        abandon("cannot write");
    }
    file.Close();
    if (!MoveOver(temporary, target)) {
        abandon("cannot write");
    }
}

std::string ReadRegularFile(const std::string& path, std::size_t limit, const std::string& what) {
    if (IsDeviceName(Wide(path))) {
        Fail(path, "not a regular file (a device or a pipe)");
    }
    const Handle file(OpenForReading(path));
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        Fail(path, "not a regular file (a device or a pipe)");
    }
    const std::string too_large =
        "larger than " + SizeText(limit) + ", the most " + what + " may hold";
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) {
        Fail(path, "cannot read: " + Reason(GetLastError()));
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > limit) {
        Fail(path, too_large);
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(size.QuadPart));
    char buffer[65536];
    DWORD got = 0;
    while (text.size() <= limit) {
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
            Fail(path, "cannot read: " + Reason(GetLastError()));
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, got);
    }
    if (text.size() > limit) {
        Fail(path, too_large);
    }
    return text;
}

SecretFile ReadSecretFile(const std::string& path, std::size_t limit) {
    if (IsDeviceName(Wide(path))) {
        Fail(path, "not a regular file (a device) and not a pipe");
    }
    const Handle file(OpenForReading(path));
    const DWORD type = GetFileType(file.get());
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
        Fail(path, "not a regular file (a device) and not a pipe");
    }
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    std::size_t line_end = std::string::npos;
    while (line_end == std::string::npos && text.size() <= limit) {
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
            // A pipe whose writer is done reports it as an error.
            if (GetLastError() == ERROR_BROKEN_PIPE) {
                break;
            }
            Fail(path, "cannot read: " + Reason(GetLastError()));
        }
        if (got == 0) {
            break;
        }
        line_end = std::string_view(buffer, got).find('\n');
        text.append(buffer, line_end == std::string::npos ? got : line_end);
    }
    if (text.size() > limit) {
        Fail(path, "the first line is longer than " + SizeText(limit));
    }
    SecretFile secret;
    secret.first_line = std::move(text);
    return secret;
}

}  // namespace Quendal::Tool
