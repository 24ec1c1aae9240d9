// The kinds of file only Linux has, pointed at every reader and writer of the tool: each is
// refused by name and left as it was, and no reader ever waits on one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <sstream>
#include <string>

#include "Diff.h"
#include "Output.h"
#include "Password.h"
#include "ReplaceFile.h"
#include "tools/Scratch.h"

namespace {

namespace fs = std::filesystem;
using Quendal::Testing::Contents;
using Quendal::Testing::ScratchDirectory;
using Quendal::Testing::Write;

mode_t TypeOf(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Hostile things to point a path at, by what they are. Creating a device node needs root;
// without it that case is left out.
struct Hostile {
    std::string name;
    std::string kind;
};

std::vector<Hostile> MakeHostiles(const ScratchDirectory& scratch) {
    std::vector<Hostile> made;
    EXPECT_EQ(mkfifo((scratch / "fifo").c_str(), 0600), 0);
    made.push_back({"fifo", "a FIFO"});
    if (mknod((scratch / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        made.push_back({"null", "a character device"});
    }
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = scratch / "socket";
    std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(listener);
    made.push_back({"socket", "a socket"});
    fs::create_directory(scratch / "directory");
    made.push_back({"directory", "a directory"});
    fs::create_symlink(scratch / "fifo", scratch / "link-to-fifo");
    made.push_back({"link-to-fifo", "a FIFO"});
    return made;
}

TEST(LinuxHostFiles, OutputRefusesWhatIsNoRegularFileAndLeavesItAsItWas) {
    const ScratchDirectory scratch;
    std::vector<std::pair<std::string, std::string>> cases;
    for (const Hostile& hostile : MakeHostiles(scratch)) {
        cases.push_back(
            {hostile.name, "not a regular file (" + hostile.kind + "); refusing to replace it"});
    }
    fs::create_symlink(scratch / "missing", scratch / "dangling");
    cases.push_back({"dangling", "a symbolic link to nothing; refusing to write through it"});
    const auto before = scratch.Names();
    for (const auto& [name, reason] : cases) {
        const std::string path = scratch / name;
        const mode_t type = TypeOf(path);
        std::string message;
        try {
            Quendal::Tool::WriteFileAtomically(path, "document");
        } catch (const Quendal::Tool::FileError& error) {
            message = error.what();
        }
        EXPECT_EQ(message, path + ": " + reason);
        EXPECT_EQ(TypeOf(path), type) << path;
    }
    EXPECT_EQ(scratch.Names(), before);
}

TEST(LinuxHostFiles, OutputReplacesTheFileALinkLeadsToAndKeepsTheLink) {
    const ScratchDirectory scratch;
    fs::create_directory(scratch / "real");
    Write(scratch / "real/document.json", "old");
    fs::create_symlink("real/document.json", scratch / "link.json");
    Quendal::Tool::WriteFileAtomically(scratch / "link.json", "new");
    EXPECT_EQ(TypeOf(scratch / "link.json"), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(fs::read_symlink(scratch / "link.json"), "real/document.json");
    EXPECT_EQ(Contents(scratch / "real/document.json"), "new");
    EXPECT_EQ(scratch.Names(), (std::vector<std::string>{"link.json", "real"}));
}

// Earlier versions wrote to PATH.tmp-PID-N, opened through links: a link planted under that
// name led the document onto any file the user could write.
TEST(LinuxHostFiles, OutputNeverWritesThroughALinkPlantedBesideTheTarget) {
    const ScratchDirectory scratch;
    Write(scratch / "victim", "precious");
    for (int counter = 1; counter <= 20; ++counter) {
        fs::create_symlink(
            scratch / "victim",
            scratch / ("out.json.tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter)));
    }
    Quendal::Tool::WriteFileAtomically(scratch / "out.json", "document");
    EXPECT_EQ(Contents(scratch / "victim"), "precious");
    EXPECT_EQ(Contents(scratch / "out.json"), "document");
}

TEST(LinuxHostFiles, OutputKeepsTheModeAndOwnerOfTheFileItReplaces) {
    const ScratchDirectory scratch;
    const mode_t old_umask = umask(022);
    const std::pair<std::string, mode_t> kCases[] = {
        {"private", 0600}, {"group", 0640}, {"shared", 0664}, {"executable", 0750}};
    for (const auto& [name, mode] : kCases) {
        Write(scratch / name, "old");
        chmod((scratch / name).c_str(), mode);
        Quendal::Tool::WriteFileAtomically(scratch / name, "new");
        EXPECT_EQ(ModeOf(scratch / name), mode) << name;
    }
    Quendal::Tool::WriteFileAtomically(scratch / "new", "new");
    EXPECT_EQ(ModeOf(scratch / "new"), 0644u);
    umask(old_umask);

    if (geteuid() == 0) {
        const std::string owned = scratch / "owned";
        Write(owned, "old");
        ASSERT_EQ(chown(owned.c_str(), 4321, 8765), 0);
        Quendal::Tool::WriteFileAtomically(owned, "new");
        struct stat status {};
        ASSERT_EQ(stat(owned.c_str(), &status), 0);
        EXPECT_EQ(status.st_uid, 4321u);
        EXPECT_EQ(status.st_gid, 8765u);
    }
}

// Runs read(path) on another thread; a read that hangs is released by opening the FIFO's
// writing end, so that the test fails instead of waiting forever.
std::string ReadWithoutWaiting(const std::function<void()>& read, const std::string& fifo) {
    auto reading = std::async(std::launch::async, [&]() -> std::string {
        try {
            read();
        } catch (const std::exception& error) {
            return error.what();
        }
        return "";
    });
    if (reading.wait_for(std::chrono::seconds(20)) == std::future_status::timeout) {
        const int writer = open(fifo.c_str(), O_WRONLY);
        close(writer);
        reading.wait();
        return "waited on " + fifo;
    }
    return reading.get();
}

TEST(LinuxHostFiles, ReadersRefuseWhatIsNoRegularFileWithoutWaitingOnIt) {
    const ScratchDirectory scratch;
    std::vector<Hostile> hostiles = MakeHostiles(scratch);
    hostiles.push_back({"/dev/zero", "a character device"});
    for (const Hostile& hostile : hostiles) {
        const std::string path = hostile.name[0] == '/' ? hostile.name : scratch / hostile.name;
        // A socket cannot even be opened as a file.
        const std::string expected =
            path + ": " +
            (hostile.kind == "a socket" ? "cannot open: "
                                        : "not a regular file (" + hostile.kind + ")");
        const std::string message =
            ReadWithoutWaiting([&] { Quendal::Tool::ReadDocument(path); }, scratch / "fifo");
        EXPECT_EQ(message.rfind(expected, 0), 0u) << message;
    }
}

// A pipe is a fine password file (a shell's <(command)); one that nobody writes to reads as
// empty at once, and a device that never ends a line is cut off.
TEST(LinuxHostFiles, PasswordFilesThatOthersMayWriteAreRefusedAndReadableOnesWarnedAbout) {
    const ScratchDirectory scratch;
    ASSERT_EQ(mkfifo((scratch / "fifo").c_str(), 0600), 0);
    const struct {
        std::string name;
        mode_t mode;
        std::string outcome;  // the password, or the start of the error after "PATH: "
        bool warned;
    } kCases[] = {
        {"private", 0600, "s3cret", false},
        {"group-readable", 0640, "s3cret", true},
        {"world-readable", 0604, "s3cret", true},
        {"group-writable", 0620, "the group or other users may write to this file", false},
        {"world-writable", 0602, "the group or other users may write to this file", false},
        {"everyone", 0666, "the group or other users may write to this file", false},
        {"fifo", 0, "the password file holds no password", false},
        {"/dev/zero", 0, "not a regular file (a character device) and not a pipe", false},
    };
    for (const auto& test : kCases) {
        const std::string path = test.name[0] == '/' ? test.name : scratch / test.name;
        if (test.mode != 0) {
            Write(path, "s3cret\nsecond line\n");
            chmod(path.c_str(), test.mode);
        }
        std::ostringstream warnings;
        const std::string outcome = ReadWithoutWaiting(
            [&] {
                const std::string password = Quendal::Tool::ObtainPassword(
                    {path, "QUENDAL_NO_SUCH_VARIABLE", "", &warnings});
                throw std::runtime_error(password);
            },
            scratch / "fifo");
        const bool failed = outcome != test.outcome;
        EXPECT_EQ(failed ? outcome.rfind(path + ": " + test.outcome, 0) : 0u, 0u) << outcome;
        EXPECT_EQ(
            warnings.str().find("other users may read this password file") != std::string::npos,
            test.warned)
            << test.name << ": " << warnings.str();
        EXPECT_EQ(warnings.str().find("s3cret"), std::string::npos);
    }
}

}  // namespace
