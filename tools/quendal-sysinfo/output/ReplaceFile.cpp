#include "ReplaceFile.h"

#include <algorithm>

#include "SystemFiles.h"

namespace Quendal::Tool {

namespace SystemFiles {

void Fail(const std::string& path, const std::string& why) {
    throw FileError(path + ": " + why);
}

}  // namespace SystemFiles

namespace {

using SystemFiles::Fail;
using SystemFiles::LastReason;
using SystemFiles::Name;
using Created = SystemFiles::Target::Created;

// Temporaries are named ".NAME.quendal-PID-RANDOM.tmp": the name ties them to their target, the
// process id tells whether their writer still runs. NAME is cut so that the whole stays within
// the 255 characters a file name may have.
constexpr std::size_t kNameKept = 64;
constexpr std::size_t kRandomDigits = 16;
constexpr std::string_view kSuffix = ".tmp";
// A name taken by chance is tried again with other random digits, a few times.
constexpr int kAttempts = 8;

// ASCII text in the characters of the platform's names.
Name Spelled(std::string_view ascii) {
    return Name(ascii.begin(), ascii.end());
}

// Half a surrogate pair is no character; in UTF-16 names (Windows) a cut must not leave one.
template <typename Char>
bool HighSurrogate(Char c) {
    if constexpr (sizeof(Char) == 2) {
        return c >= 0xD800 && c <= 0xDBFF;
    } else {
        return false;
    }
}

Name TemporaryPrefix(const Name& name) {
    Name kept = name.substr(0, kNameKept);
    if (!kept.empty() && HighSurrogate(kept.back())) {
        kept.pop_back();
    }
    return Spelled(".") + kept + Spelled(".quendal-");
}

// The writer's process id when entry is a temporary under this prefix, else 0.
std::uint64_t WriterOf(const Name& entry, const Name& prefix) {
    const Name suffix = Spelled(kSuffix);
    if (entry.compare(0, prefix.size(), prefix) != 0) {
        return 0;
    }
    const Name rest = entry.substr(prefix.size());
    const std::size_t dash = rest.find(Name::value_type('-'));
    if (dash == Name::npos || dash == 0 || dash > 9 ||
        rest.size() != dash + 1 + kRandomDigits + suffix.size() ||
        rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return 0;
    }
    const auto is_digit = [](Name::value_type c) { return c >= '0' && c <= '9'; };
    const auto is_hex = [&](Name::value_type c) { return is_digit(c) || (c >= 'a' && c <= 'f'); };
    if (!std::all_of(rest.begin(), rest.begin() + dash, is_digit) ||
        !std::all_of(rest.begin() + dash + 1, rest.end() - suffix.size(), is_hex)) {
        return 0;
    }
    return std::stoull(rest.substr(0, dash));
}

Name RandomDigits() {
    unsigned char bytes[kRandomDigits / 2];
    SystemFiles::RandomBytes(bytes, sizeof bytes);
    static constexpr char kHex[] = "0123456789abcdef";
    Name digits;
    for (const unsigned char byte : bytes) {
        digits += static_cast<Name::value_type>(kHex[byte >> 4]);
        digits += static_cast<Name::value_type>(kHex[byte & 0xF]);
    }
    return digits;
}

bool WriteAll(SystemFiles::Target& target, std::string_view text) {
    while (!text.empty()) {
        const std::ptrdiff_t written = target.Write(text);
        if (written < 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

void ReplaceFileWith(const std::string& path, std::string_view text) {
    SystemFiles::Target target(path);
    const Name prefix = TemporaryPrefix(target.name());
    target.RemoveEntries(prefix, [&](const Name& entry) {
        const std::uint64_t writer = WriterOf(entry, prefix);
        return writer != 0 && !SystemFiles::IsRunning(writer);
    });

    Created created = Created::kTaken;
    for (int attempt = 0; attempt < kAttempts && created == Created::kTaken; ++attempt) {
        created =
            target.CreateTemporary(prefix + Spelled(std::to_string(SystemFiles::ThisProcess())) +
                                   Spelled("-") + RandomDigits() + Spelled(kSuffix));
        if (created == Created::kFailed) {
            Fail(path, "cannot write: " + LastReason());
        }
    }
    if (created == Created::kTaken) {
        // The system's answer to the last name tried: it exists.
        Fail(path, "cannot write: " + LastReason());
    }
    const auto abandon = [&](const std::string& why) {
        const std::string reason = LastReason();
        target.RemoveTemporary();
        Fail(path, why + ": " + reason);
    };
    // The owner first: changing it clears the set-user-ID and set-group-ID bits.
    if (target.exists() && !target.KeepOwner()) {
        abandon("cannot give the new file the owner of the old one");
    }
    if (target.exists() && !target.KeepPermissions()) {
        abandon("cannot give the new file the permissions of the old one");
    }
    // Without the flush a crash soon after the rename can leave an empty file under the name on
    // file systems that delay allocation.
    if (!WriteAll(target, text) || !target.Flush()) {
        abandon("cannot write");
    }
    if (!target.Rename()) {
        abandon("cannot write");
    }
    // The rename itself is durable only once the directory is.
    if (!target.SyncDirectory()) {
        Fail(path, "written, but its directory could not be synced to disk: " + LastReason());
    }
}

std::string ReadRegularFile(const std::string& path, std::size_t limit, const std::string& what) {
    SystemFiles::Reader file(path, SystemFiles::Reader::Kind::kRegular);
    const std::string too_large =
        "larger than " + SizeText(limit) + ", the most " + what + " may hold";
    if (file.Size() > limit) {
        Fail(path, too_large);
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(file.Size()));
    // Until the end, or until more than limit bytes are there: a file that grows meanwhile is
    // read no further.
    char buffer[65536];
    while (text.size() <= limit) {
        const std::ptrdiff_t got = file.Read(buffer, sizeof buffer);
        if (got < 0) {
            Fail(path, "cannot read: " + LastReason());
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    if (text.size() > limit) {
        Fail(path, too_large);
    }
    return text;
}

void WipeSecret(std::string& secret) noexcept {
    // Within its capacity a string never moves its buffer.
    secret.resize(secret.capacity());
    SystemFiles::Wipe(secret.data(), secret.size());
    secret.clear();
}

SecretFile ReadSecretFile(const std::string& path, std::size_t limit) {
    SystemFiles::Reader file(path, SystemFiles::Reader::Kind::kSecret);
    SecretFile secret;
    secret.readable_by_others = file.ReadableByOthers();
    secret.folder_writable_by_others = file.FolderWritableByOthers();
    char buffer[4096];
    // The stack buffer, and the line when reading fails half-way, are wiped however this ends.
    struct Wiped {
        char* bytes;
        std::size_t size;
        std::string& line;
        ~Wiped() {
            SystemFiles::Wipe(bytes, size);
            if (!done) {
                WipeSecret(line);
            }
        }
        bool done = false;
    } wiped{buffer, sizeof buffer, secret.first_line};
    std::string& text = secret.first_line;
    // Room for all of it at once: a string that grows leaves copies in the buffers it frees.
    text.reserve(limit + sizeof buffer);
    std::size_t line_end = std::string::npos;
    while (line_end == std::string::npos && text.size() <= limit) {
        const std::ptrdiff_t got = file.Read(buffer, sizeof buffer);
        if (got < 0) {
            Fail(path, "cannot read: " + LastReason());
        }
        if (got == 0) {
            break;
        }
        const auto size = static_cast<std::size_t>(got);
        line_end = std::string_view(buffer, size).find('\n');
        text.append(buffer, line_end == std::string::npos ? size : line_end);
    }
    if (text.size() > limit) {
        Fail(path, "the first line is longer than " + SizeText(limit));
    }
    wiped.done = true;
    return secret;
}

}  // namespace Quendal::Tool
