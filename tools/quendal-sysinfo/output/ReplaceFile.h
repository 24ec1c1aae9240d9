// The files the tool writes and reads, by the platform's rules. The steps are the same everywhere
// (ReplaceFile.cpp); the system calls behind them are one implementation per platform (linux/,
// windows/, behind SystemFiles.h): what a file is, who may read it and how a rename reaches the
// disk differ.
//
// Every failure is a FileError whose text starts with the path the caller gave and says why;
// it never names a temporary file, which the user neither chose nor can do anything about.
// (Not named ReplaceFile: the Windows headers define that name as a macro.)
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Quendal::Tool {

class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Puts text at path in one step: a reader of path sees the old content or the new, never a
// mixture, also when the process dies half-way.
//   - path must name a regular file, a symbolic link to one, or nothing yet. A link stays a
//     link: the file it leads to is what gets replaced. Anything else (a device, a FIFO, a
//     socket, a directory, a link leading nowhere or to one of those) is refused and left as it
//     is. On Windows every reparse point (symbolic link, junction) is refused.
//   - The text goes to a new file in the target's own directory, created exclusively (never
//     through a link) under a name no other process can guess, ".NAME.quendal-PID-RANDOM.tmp"
//     with NAME the target's name cut to 64 characters, RANDOM 16 hexadecimal digits. It is
//     flushed to disk, renamed over the target, and the directory is synced.
//   - A replaced file keeps its permission bits; on Linux, when run as root, also its owner and
//     group (on Windows, a DACL set on the file itself rather than inherited). A new file gets
//     the defaults (0666 less the umask on Linux).
//   - Temporaries of that form left next to the target by a process that is gone (a run that
//     was killed) are removed first; those of a process still running are not touched.
// On failure the target is as it was and no temporary is left.
void ReplaceFileWith(const std::string& path, std::string_view text);

// The whole content of the file at path, which must be a regular file (a link to one will do)
// of at most limit bytes; what names the file's role in the messages ("a stored document").
// Opening never waits on a FIFO or a device, and no more than limit + 1 bytes are ever read,
// even from a file that grows meanwhile.
std::string ReadRegularFile(const std::string& path, std::size_t limit, const std::string& what);

// A file holding a secret, read up to its first line end (at most limit bytes before it). A
// regular file or a pipe will do (a shell's <(command) hands over a pipe). On Linux a regular
// file that its group or others may write is refused; one that the group or others may read,
// or one in a folder they may write to (without the sticky bit), is accepted and reported.
// Windows has no such bits to check: never refused there. The buffers the secret passed through
// on its way are wiped; first_line is its only copy.
struct SecretFile {
    std::string first_line;  // without its line end
    bool readable_by_others = false;
    bool folder_writable_by_others = false;
};
SecretFile ReadSecretFile(const std::string& path, std::size_t limit);

// Overwrites the secret's whole buffer with zeros, in a way the compiler may not leave out, and
// empties it. Copies made before, by whoever made them, are not reached.
void WipeSecret(std::string& secret) noexcept;

// "64 MiB", "100 bytes": how limits read in messages.
inline std::string SizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = 1024 * 1024;
    return bytes % kMiB == 0 && bytes > 0 ? std::to_string(bytes / kMiB) + " MiB"
                                          : std::to_string(bytes) + " bytes";
}

}  // namespace Quendal::Tool
