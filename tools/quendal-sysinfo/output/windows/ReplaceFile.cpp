// rand_s is declared only on request, and before anything includes stdlib.h.
#define _CRT_RAND_S
#include <stdlib.h>
// windows.h first: aclapi.h relies on its types.
#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "SystemFiles.h"

namespace Quendal::Tool::SystemFiles {

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
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void Reset(HANDLE handle) {
        Close();
        handle_ = handle;
    }
    void Close() {
        if (valid()) {
            CloseHandle(handle_);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

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

std::string LastReason() {
    return Reason(GetLastError());
}

std::uint64_t ThisProcess() {
    return GetCurrentProcessId();
}

void Wipe(void* bytes, std::size_t count) noexcept {
    SecureZeroMemory(bytes, count);
}

bool IsRunning(std::uint64_t process_id) {
    const Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                     static_cast<DWORD>(process_id)));
    if (!process.valid()) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

void RandomBytes(unsigned char* bytes, std::size_t count) {
    std::size_t filled = 0;
    while (filled < count) {
        unsigned int value = 0;
        if (rand_s(&value) != 0) {
            throw FileError("no random numbers from the system");
        }
        for (int byte = 0; byte < 4 && filled < count; ++byte) {
            bytes[filled++] = static_cast<unsigned char>(value >> (8 * byte));
        }
    }
}

// Every step names the files by their whole paths: the directory is not held open.
struct Target::Handles {
    std::wstring target;
    std::wstring directory;  // with its separator at the end, or empty
    Name name;
    bool exists = false;
    std::wstring temporary;
    Handle file;
};

Target::Target(const std::string& path) : handles_(std::make_unique<Handles>()) {
    Handles& handles = *handles_;
    handles.target = Wide(path);
    const std::size_t slash = handles.target.find_last_of(L"\\/");
    handles.directory = slash == std::wstring::npos ? L"" : handles.target.substr(0, slash + 1);
    handles.name = slash == std::wstring::npos ? handles.target : handles.target.substr(slash + 1);
    if (handles.name.empty() || handles.name == L"." || handles.name == L"..") {
        Fail(path, "not a regular file (a directory)");
    }
    DWORD error = ERROR_SUCCESS;
    const std::string refusal = NotAPlainFile(handles.target, error);
    if (!refusal.empty()) {
        Fail(path, refusal + "; refusing to replace it");
    }
    handles.exists = error == ERROR_SUCCESS;
    if (!handles.exists && error != ERROR_FILE_NOT_FOUND) {
        Fail(path, "cannot write: " + Reason(error));
    }
}

Target::~Target() = default;

const Name& Target::name() const {
    return handles_->name;
}

bool Target::exists() const {
    return handles_->exists;
}

// A writer keeps its temporary open without sharing deletion until it is renamed, so deleting
// a temporary whose process id was meanwhile reused by a stranger still fails while it is open.
void Target::RemoveEntries(const Name& prefix, const std::function<bool(const Name&)>& stale) {
    const std::wstring& directory = handles_->directory;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((directory + prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                0 &&
            stale(found.cFileName)) {
            DeleteFileW((directory + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

Target::Created Target::CreateTemporary(const Name& name) {
    Handles& handles = *handles_;
    handles.temporary = handles.directory + name;
    // No sharing: nobody reads a half-written file, nor deletes it from under the writer.
    const HANDLE created = CreateFileW(handles.temporary.c_str(), GENERIC_WRITE | WRITE_DAC, 0,
                                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_EXISTS ? Created::kTaken : Created::kFailed;
    }
    handles.file.Reset(created);
    return Created::kCreated;
}

// A new file belongs to whoever writes it; what keeps a file private here is its DACL.
bool Target::KeepOwner() {
    return true;
}

bool Target::KeepPermissions() {
    return CopyOwnDacl(handles_->target, handles_->file.get());
}

std::ptrdiff_t Target::Write(std::string_view text) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handles_->file.get(), text.data(), chunk, &written, nullptr)) {
        return -1;
    }
    return written;
}

bool Target::Flush() {
    return FlushFileBuffers(handles_->file.get()) != 0;
}

bool Target::Rename() {
    handles_->file.Close();
    return MoveOver(handles_->temporary, handles_->target);
}

// MOVEFILE_WRITE_THROUGH returns only once the rename is on the disk.
bool Target::SyncDirectory() {
    return true;
}

void Target::RemoveTemporary() {
    handles_->file.Close();
    DeleteFileW(handles_->temporary.c_str());
}

struct Reader::Handles {
    Handle file;
    std::uintmax_t size = 0;
};

Reader::Reader(const std::string& path, Kind kind) : handles_(std::make_unique<Handles>()) {
    const char* const refusal = kind == Kind::kRegular
                                    ? "not a regular file (a device or a pipe)"
                                    : "not a regular file (a device) and not a pipe";
    if (IsDeviceName(Wide(path))) {
        Fail(path, refusal);
    }
    Handles& handles = *handles_;
    handles.file.Reset(OpenForReading(path));
    const DWORD type = GetFileType(handles.file.get());
    if (kind == Kind::kSecret) {
        if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
            Fail(path, refusal);
        }
        return;
    }
    if (type != FILE_TYPE_DISK) {
        Fail(path, refusal);
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handles.file.get(), &size)) {
        Fail(path, "cannot read: " + Reason(GetLastError()));
    }
    handles.size = static_cast<std::uintmax_t>(size.QuadPart);
}

Reader::~Reader() = default;

std::uintmax_t Reader::Size() const {
    return handles_->size;
}

// Windows has no such bits to check.
bool Reader::ReadableByOthers() const {
    return false;
}

bool Reader::FolderWritableByOthers() const {
    return false;
}

std::ptrdiff_t Reader::Read(char* buffer, std::size_t size) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(handles_->file.get(), buffer, chunk, &got, nullptr)) {
        // A pipe whose writer is done reports it as an error.
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return got;
}

}  // namespace Quendal::Tool::SystemFiles
