#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "ReplaceFile.h"

namespace Quendal::Tool {

namespace {

std::string Reason(int error) {
    return std::generic_category().message(error);
}

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw FileError(path + ": " + why);
}

class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return descriptor_; }
    bool valid() const { return descriptor_ >= 0; }

private:
    int descriptor_;
};

std::string NotRegular(mode_t mode) {
    const char* kind = S_ISDIR(mode)    ? "a directory"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISFIFO(mode) ? "a FIFO"
                       : S_ISSOCK(mode) ? "a socket"
                       : S_ISLNK(mode)  ? "a symbolic link"
                                        : "of an unknown kind";
    return std::string("not a regular file (") + kind + ")";
}

// Temporaries are named ".NAME.quendal-PID-RANDOM.tmp": the name ties them to their target, the
// process id tells whether their writer still runs. NAME is cut so that the whole stays within
// the 255 bytes a file name may have.
constexpr std::size_t kNameKept = 64;
constexpr std::size_t kRandomDigits = 16;
constexpr char kSuffix[] = ".tmp";

std::string TemporaryPrefix(const std::string& name) {
    return "." + name.substr(0, kNameKept) + ".quendal-";
}

// The writer's process id when entry is a temporary under this prefix, else 0.
pid_t WriterOf(const std::string& entry, const std::string& prefix) {
    constexpr std::size_t kSuffixLength = sizeof kSuffix - 1;
    if (entry.compare(0, prefix.size(), prefix) != 0) {
        return 0;
    }
    const std::string rest = entry.substr(prefix.size());
    const std::size_t dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || dash > 9 ||
        rest.size() != dash + 1 + kRandomDigits + kSuffixLength ||
        rest.compare(rest.size() - kSuffixLength, kSuffixLength, kSuffix) != 0) {
        return 0;
    }
    const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    const auto is_hex = [&](char c) { return is_digit(c) || (c >= 'a' && c <= 'f'); };
    if (!std::all_of(rest.begin(), rest.begin() + dash, is_digit) ||
        !std::all_of(rest.begin() + dash + 1, rest.end() - kSuffixLength, is_hex)) {
        return 0;
    }
    return static_cast<pid_t>(std::stol(rest.substr(0, dash)));
}

bool IsRunning(pid_t process) {
    return kill(process, 0) == 0 || errno == EPERM;
}

// A writer holds its temporary locked until it is renamed, so that a writer whose process id
// means nothing here (another PID namespace sharing the directory) is not robbed either.
void RemoveStaleTemporaries(int directory, const std::string& name) {
    const int listing = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) {
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(fdopendir(listing), &closedir);
    if (!entries) {
        close(listing);
        return;
    }
    const std::string prefix = TemporaryPrefix(name);
    while (const dirent* entry = readdir(entries.get())) {
        const pid_t writer = WriterOf(entry->d_name, prefix);
        if (writer <= 0 || IsRunning(writer)) {
            continue;
        }
        const Descriptor file(openat(directory, entry->d_name,
                                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat status {};
        if (file.valid() && fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) &&
            flock(file.get(), LOCK_EX | LOCK_NB) == 0) {
            unlinkat(directory, entry->d_name, 0);
        }
    }
}

std::string RandomDigits() {
    unsigned char bytes[kRandomDigits / 2];
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got < 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        filled += got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string digits;
    for (const unsigned char byte : bytes) {
        digits += kHex[byte >> 4];
        digits += kHex[byte & 0xF];
    }
    return digits;
}

bool WriteAll(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = write(descriptor, text.data(), text.size());
        if (written < 0 && errno != EINTR) {
            return false;
        }
        text.remove_prefix(written > 0 ? static_cast<std::size_t>(written) : 0);
    }
    return true;
}

// Reads until end of file or until more than limit bytes are there.
bool ReadAtMost(int descriptor, std::size_t limit, std::string& text) {
    char buffer[65536];
    while (text.size() <= limit) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

}  // namespace

void ReplaceFileWith(const std::string& path, std::string_view text) {
    // A link is followed here, once and whole, so that every later step works on the file it
    // leads to and none of them follows a link again.
    std::string target = path;
    struct stat status {};
    if (lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        const std::unique_ptr<char, void (*)(void*)> resolved(realpath(path.c_str(), nullptr),
                                                              &std::free);
        if (!resolved) {
            Fail(path, errno == ENOENT ? "a symbolic link to nothing; refusing to write through it"
                                       : "cannot follow the symbolic link: " + Reason(errno));
        }
        target = resolved.get();
    }
    const std::size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string directory_path = slash == std::string::npos ? "."
                                       : slash == 0               ? "/"
                                                                  : target.substr(0, slash);
    if (name.empty() || name == "." || name == "..") {
        Fail(path, NotRegular(S_IFDIR));
    }
    const Descriptor directory(open(directory_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory.valid()) {
        Fail(path, "cannot write: " + Reason(errno));
    }
    bool exists = false;
    if (fstatat(directory.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(status.st_mode)) {
            Fail(path, NotRegular(status.st_mode) + "; refusing to replace it");
        }
        exists = true;
    } else if (errno != ENOENT) {
        Fail(path, "cannot write: " + Reason(errno));
    }

    RemoveStaleTemporaries(directory.get(), name);
    // Private until it is complete; a replaced file's mode is put on just before the rename.
    const mode_t initial_mode = exists ? 0600 : 0666;
    std::string temporary;
    int descriptor = -1;
    for (int attempt = 0; attempt < 8 && descriptor < 0; ++attempt) {
        temporary =
            TemporaryPrefix(name) + std::to_string(getpid()) + "-" + RandomDigits() + kSuffix;
        descriptor =
            openat(directory.get(), temporary.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, initial_mode);
        if (descriptor < 0 && errno != EEXIST) {
            Fail(path, "cannot write: " + Reason(errno));
        }
    }
    if (descriptor < 0) {
        Fail(path, "cannot write: " + Reason(EEXIST));
    }
    const Descriptor file(descriptor);
    flock(file.get(), LOCK_EX | LOCK_NB);
    const auto abandon = [&](const std::string& why) {
        const int error = errno;
        unlinkat(directory.get(), temporary.c_str(), 0);
        Fail(path, why + ": " + Reason(error));
    };
    // The owner first: changing it clears the set-user-ID and set-group-ID bits.
    if (exists && geteuid() == 0 && fchown(file.get(), status.st_uid, status.st_gid) != 0) {
        abandon("cannot give the new file the owner of the old one");
    }
    if (exists && fchmod(file.get(), status.st_mode & 07777) != 0) {
        abandon("cannot give the new file the permissions of the old one");
    }
    // Without the fsync a crash soon after the rename can leave an empty file under the name on
    // file systems that delay allocation.
    if (!WriteAll(file.get(), text) || fsync(file.get()) != 0) {
        abandon("cannot write");
    }
    if (renameat(directory.get(), temporary.c_str(), directory.get(), name.c_str()) != 0) {
        abandon("cannot write");
    }
    // The rename itself is durable only once the directory is; some file systems cannot sync a
    // directory and say so with EINVAL.
    if (fsync(directory.get()) != 0 && errno != EINVAL) {
        Fail(path, "written, but its directory could not be synced to disk: " + Reason(errno));
    }
}

std::string ReadRegularFile(const std::string& path, std::size_t limit, const std::string& what) {
    const Descriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) {
        Fail(path, "cannot open: " + Reason(errno));
    }
    struct stat status {};
    if (fstat(file.get(), &status) != 0) {
        Fail(path, "cannot open: " + Reason(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        Fail(path, NotRegular(status.st_mode));
    }
    const std::string too_large =
        "larger than " + SizeText(limit) + ", the most " + what + " may hold";
    if (static_cast<std::uintmax_t>(status.st_size) > limit) {
        Fail(path, too_large);
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(status.st_size));
    if (!ReadAtMost(file.get(), limit, text)) {
        Fail(path, "cannot read: " + Reason(errno));
    }
    if (text.size() > limit) {
        Fail(path, too_large);
    }
    return text;
}

SecretFile ReadSecretFile(const std::string& path, std::size_t limit) {
    const Descriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) {
        Fail(path, "cannot open: " + Reason(errno));
    }
    struct stat status {};
    if (fstat(file.get(), &status) != 0) {
        Fail(path, "cannot open: " + Reason(errno));
    }
    SecretFile secret;
    if (S_ISREG(status.st_mode)) {
        // As ssh does with keys: anyone who may change the file chooses what is sent as the
        // password.
        if ((status.st_mode & S_IWOTH) != 0) {
            Fail(path,
                 "any user may write to this file; refusing to take a password from it "
                 "(chmod 600 it)");
        }
        secret.readable_by_others = (status.st_mode & (S_IRGRP | S_IROTH)) != 0;
    } else if (S_ISFIFO(status.st_mode)) {
        // Opened without waiting for a writer; now wait for what the writer sends. A pipe that
        // no one writes to reads as empty at once.
        fcntl(file.get(), F_SETFL, fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    } else {
        Fail(path, NotRegular(status.st_mode) + " and not a pipe");
    }
    std::string text;
    char buffer[4096];
    std::size_t line_end = std::string::npos;
    while (line_end == std::string::npos && text.size() <= limit) {
        const ssize_t got = read(file.get(), buffer, sizeof buffer);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail(path, "cannot read: " + Reason(errno));
        }
        line_end = std::string_view(buffer, static_cast<std::size_t>(got)).find('\n');
        text.append(buffer,
                    line_end == std::string::npos ? static_cast<std::size_t>(got) : line_end);
    }
    if (text.size() > limit) {
        Fail(path, "the first line is longer than " + SizeText(limit));
    }
    secret.first_line = std::move(text);
    return secret;
}

}  // namespace Quendal::Tool
