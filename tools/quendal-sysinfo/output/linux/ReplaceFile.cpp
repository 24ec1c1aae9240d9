#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "SystemFiles.h"

namespace Quendal::Tool::SystemFiles {

namespace {

std::string Reason(int error) {
    return std::generic_category().message(error);
}

class Descriptor {
public:
    explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return descriptor_; }
    bool valid() const { return descriptor_ >= 0; }
    void reset(int descriptor = -1) {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
        descriptor_ = descriptor;
    }

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

}  // namespace

std::string LastReason() {
    return Reason(errno);
}

std::uint64_t ThisProcess() {
    return static_cast<std::uint64_t>(getpid());
}

bool IsRunning(std::uint64_t process) {
    return kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM;
}

void Wipe(void* bytes, std::size_t count) noexcept {
    explicit_bzero(bytes, count);
}

void RandomBytes(unsigned char* bytes, std::size_t count) {
    std::size_t filled = 0;
    while (filled < count) {
        const ssize_t got = getrandom(bytes + filled, count - filled, 0);
        if (got < 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        filled += got > 0 ? static_cast<std::size_t>(got) : 0;
    }
}

// Every step works on the directory's descriptor, so that none of them follows a link again.
struct Target::Handles {
    Descriptor directory;
    Name name;
    bool exists = false;
    struct stat status {};  // of the file standing at the target
    Name temporary;
    Descriptor file;
};

Target::Target(const std::string& path) : handles_(std::make_unique<Handles>()) {
    Handles& handles = *handles_;
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
    handles.name = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string directory_path = slash == std::string::npos ? "."
                                       : slash == 0               ? "/"
                                                                  : target.substr(0, slash);
    if (handles.name.empty() || handles.name == "." || handles.name == "..") {
        Fail(path, NotRegular(S_IFDIR));
    }
    handles.directory.reset(open(directory_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!handles.directory.valid()) {
        Fail(path, "cannot write: " + Reason(errno));
    }
    if (fstatat(handles.directory.get(), handles.name.c_str(), &handles.status,
                AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(handles.status.st_mode)) {
            Fail(path, NotRegular(handles.status.st_mode) + "; refusing to replace it");
        }
        handles.exists = true;
    } else if (errno != ENOENT) {
        Fail(path, "cannot write: " + Reason(errno));
    }
}

Target::~Target() = default;

const Name& Target::name() const {
    return handles_->name;
}

bool Target::exists() const {
    return handles_->exists;
}

// A writer holds its temporary locked until it is renamed, so that a writer whose process id
// means nothing here (another PID namespace sharing the directory) is not robbed either.
void Target::RemoveEntries(const Name&, const std::function<bool(const Name&)>& stale) {
    const int directory = handles_->directory.get();
    const int listing = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) {
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(fdopendir(listing), &closedir);
    if (!entries) {
        close(listing);
        return;
    }
    while (const dirent* entry = readdir(entries.get())) {
        if (!stale(entry->d_name)) {
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

Target::Created Target::CreateTemporary(const Name& name) {
    Handles& handles = *handles_;
    // Private until it is complete; a replaced file's mode is put on just before the rename.
    const mode_t initial_mode = handles.exists ? 0600 : 0666;
    const int descriptor =
        openat(handles.directory.get(), name.c_str(),
               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, initial_mode);
    if (descriptor < 0) {
        return errno == EEXIST ? Created::kTaken : Created::kFailed;
    }
    handles.temporary = name;
    handles.file.reset(descriptor);
    flock(descriptor, LOCK_EX | LOCK_NB);
    return Created::kCreated;
}

bool Target::KeepOwner() {
    const Handles& handles = *handles_;
    return geteuid() != 0 ||
           fchown(handles.file.get(), handles.status.st_uid, handles.status.st_gid) == 0;
}

bool Target::KeepPermissions() {
    return fchmod(handles_->file.get(), handles_->status.st_mode & 07777) == 0;
}

std::ptrdiff_t Target::Write(std::string_view text) {
    const ssize_t written = write(handles_->file.get(), text.data(), text.size());
    if (written < 0) {
        return errno == EINTR ? 0 : -1;
    }
    return written;
}

bool Target::Flush() {
    return fsync(handles_->file.get()) == 0;
}

bool Target::Rename() {
    const Handles& handles = *handles_;
    return renameat(handles.directory.get(), handles.temporary.c_str(), handles.directory.get(),
                    handles.name.c_str()) == 0;
}

// Some file systems cannot sync a directory and say so with EINVAL.
bool Target::SyncDirectory() {
    return fsync(handles_->directory.get()) == 0 || errno == EINVAL;
}

void Target::RemoveTemporary() {
    unlinkat(handles_->directory.get(), handles_->temporary.c_str(), 0);
}

struct Reader::Handles {
    Descriptor file;
    struct stat status {};
    bool readable_by_others = false;
    bool folder_writable_by_others = false;
};

Reader::Reader(const std::string& path, Kind kind) : handles_(std::make_unique<Handles>()) {
    Handles& handles = *handles_;
    handles.file.reset(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!handles.file.valid()) {
        Fail(path, "cannot open: " + Reason(errno));
    }
    if (fstat(handles.file.get(), &handles.status) != 0) {
        Fail(path, "cannot open: " + Reason(errno));
    }
    const mode_t mode = handles.status.st_mode;
    if (kind == Kind::kRegular) {
        if (!S_ISREG(mode)) {
            Fail(path, NotRegular(mode));
        }
    } else if (S_ISREG(mode)) {
        // As ssh does with keys: anyone who may change the file chooses what is sent as the
        // password.
        if ((mode & (S_IWGRP | S_IWOTH)) != 0) {
            Fail(path,
                 "the group or other users may write to this file; refusing to take a password "
                 "from it (chmod 600 it)");
        }
        handles.readable_by_others = (mode & (S_IRGRP | S_IROTH)) != 0;
        // Whoever may write to the folder may put a file of their own in this one's place,
        // unless the sticky bit keeps them to their own entries.
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        struct stat folder_status {};
        handles.folder_writable_by_others =
            stat(folder.empty() ? "." : folder.c_str(), &folder_status) == 0 &&
            (folder_status.st_mode & (S_IWGRP | S_IWOTH)) != 0 &&
            (folder_status.st_mode & S_ISVTX) == 0;
    } else if (S_ISFIFO(mode)) {
        // Opened without waiting for a writer; now wait for what the writer sends. A pipe that
        // no one writes to reads as empty at once.
        fcntl(handles.file.get(), F_SETFL, fcntl(handles.file.get(), F_GETFL) & ~O_NONBLOCK);
    } else {
        Fail(path, NotRegular(mode) + " and not a pipe");
    }
}

Reader::~Reader() = default;

std::uintmax_t Reader::Size() const {
    return static_cast<std::uintmax_t>(handles_->status.st_size);
}

bool Reader::ReadableByOthers() const {
    return handles_->readable_by_others;
}

bool Reader::FolderWritableByOthers() const {
    return handles_->folder_writable_by_others;
}

std::ptrdiff_t Reader::Read(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = read(handles_->file.get(), buffer, size);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

}  // namespace Quendal::Tool::SystemFiles
