// The system calls behind ReplaceFile.h, one implementation per platform (linux/ReplaceFile.cpp,
// windows/ReplaceFile.cpp). ReplaceFile.cpp holds what the platforms share: the temporaries'
// names and which of them are stale, the order of a replacement's steps and what is undone when
// one fails, reading within a limit, and the messages.
//
// Contract. A call that answers false, kFailed or -1 leaves the system's error (errno,
// GetLastError) for LastReason, which must be asked before the next system call. Where a
// platform has words of its own for a refusal (what stands at a path, a link leading nowhere),
// it throws FileError itself, through Fail. Nothing else is thrown but std::bad_alloc and what
// RandomBytes throws. An object belongs to one thread; its destructor closes what it opened and
// removes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ReplaceFile.h"

namespace Quendal::Tool::SystemFiles {

// A name in a directory as the platform's calls take it (UTF-16 on Windows).
using Name = std::filesystem::path::string_type;

// Throws FileError("PATH: WHY").
[[noreturn]] void Fail(const std::string& path, const std::string& why);

// The error of the last system call that failed, in the system's words.
std::string LastReason();

// This process's id, and whether the process with an id still runs (one the system will not
// tell about counts as running).
std::uint64_t ThisProcess();
bool IsRunning(std::uint64_t process);

// Unpredictable bytes; throws when the system has none to give.
void RandomBytes(unsigned char* bytes, std::size_t count);

// Zeros over count bytes, written even where the compiler sees them never read again.
void Wipe(void* bytes, std::size_t count) noexcept;

// The target of a replacement: its directory, held open where the platform can, and what
// stands at the target now.
class Target {
public:
    // Throws FileError when nothing may be written at path: it names a directory or anything
    // other than a regular file (on Linux a symbolic link is followed, once), or the directory
    // cannot be opened.
    explicit Target(const std::string& path);
    ~Target();
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    const Name& name() const;  // in its directory
    bool exists() const;       // a regular file stands there

    // Asks stale about the directory's entries (at least every one whose name starts with
    // prefix) and removes those it answers true for, unless they are something other than a
    // plain file or their writer still holds them.
    void RemoveEntries(const Name& prefix, const std::function<bool(const Name&)>& stale);

    // A new file of that name in the directory, never through a link; kTaken when the name is.
    enum class Created { kCreated, kTaken, kFailed };
    Created CreateTemporary(const Name& name);

    // The temporary's steps, in this order.
    bool KeepOwner();        // the old file's owner and group, where the platform keeps them
    bool KeepPermissions();  // the old file's permission bits, or a DACL of its own
    std::ptrdiff_t Write(std::string_view text);  // how much was written (maybe 0), or -1
    bool Flush();                                 // its content on the disk
    bool Rename();                                // over the target
    bool SyncDirectory();                         // the rename on the disk
    void RemoveTemporary();                       // after a step failed

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

// A file opened for reading.
class Reader {
public:
    // kRegular: a regular file. kSecret: a regular file or a pipe, which on Linux neither the
    // group nor others may write. Throws FileError for anything else, or when the file cannot be
    // opened; opening never waits on a FIFO or a device.
    enum class Kind { kRegular, kSecret };
    Reader(const std::string& path, Kind kind);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    std::uintmax_t Size() const;    // of a regular file when it was opened
    bool ReadableByOthers() const;  // the group or others may; never on Windows
    // kSecret: a regular file whose folder the group or others may write to without the sticky
    // bit, so that they may replace the file; never on Windows.
    bool FolderWritableByOthers() const;
    // How much was read into buffer; 0 at the end (also of a pipe whose writer is gone), -1
    // when reading failed.
    std::ptrdiff_t Read(char* buffer, std::size_t size);

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

}  // namespace Quendal::Tool::SystemFiles
