#include "tesmora/Inventory.h"

#include "InventoryReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace Tesmora {

namespace {

using inventory::Json;
using inventory::Members;
using inventory::PointerStep;
using inventory::Reader;
using inventory::ReadHost;

// Where a parse error happened, counted from 1 the way editors do. The parser reports the
// offset just past the character it stopped at; its own line count is off by one when that
// character ends a line, so the place is worked out from the text.
std::string LineAndColumn(const std::string& text, std::size_t byte) {
    const std::size_t offset = std::min(byte == 0 ? 0 : byte - 1, text.size());
    const std::size_t line = 1 + std::count(text.begin(), text.begin() + offset, '\n');
    const std::size_t line_start = text.rfind('\n', offset == 0 ? std::string::npos : offset - 1);
    const std::size_t column =
        offset == 0 ? 1 : offset - (line_start == std::string::npos ? 0 : line_start + 1) + 1;
    return std::to_string(line) + ":" + std::to_string(column);
}

// The parser's own words without its prefix and without the text it last read, which may be
// part of a password.
std::string ParserMessage(const std::string& what) {
    std::string message = what;
    const std::size_t column = message.find(", column ");
    if (column != std::string::npos) {
        const std::size_t colon = message.find(": ", column);
        if (colon != std::string::npos) {
            message.erase(0, colon + 2);
        }
    } else if (message.rfind("[json.exception.", 0) == 0 &&
               message.find("] ") != std::string::npos) {
        message.erase(0, message.find("] ") + 2);
    }
    const std::size_t last_read = message.find("; last read: ");
    if (last_read != std::string::npos) {
        const std::size_t expected = message.find("; expected", last_read);
        message.erase(last_read,
                      expected == std::string::npos ? std::string::npos : expected - last_read);
    }
    return message;
}

// The parser keeps the last of two equal keys; an address pasted twice would silently drop a
// host, so repeats are refused. Builds the tree as the parser's own tree builder does, tracking
// where the parser is to name the place and holding the file to the limits while it is parsed,
// before the tree is complete. (The parser's callback mode could check the same, but after every
// closed object or array it walks the whole enclosing container, which makes a long list of
// records quadratic.)
class CheckedTreeBuilder {
public:
    CheckedTreeBuilder(const Reader& reader, const InventoryLimits& limits, Json& root)
        : reader_(reader), limits_(limits), root_(root) {}

    bool null() { return Value(Json(nullptr)); }
    bool boolean(bool value) { return Value(Json(value)); }
    bool number_integer(Json::number_integer_t value) { return Value(Json(value)); }
    bool number_unsigned(Json::number_unsigned_t value) { return Value(Json(value)); }
    bool number_float(Json::number_float_t value, const Json::string_t&) {
        return Value(Json(value));
    }
    bool string(Json::string_t& value) { return Value(Json(std::move(value))); }
    bool binary(Json::binary_t& value) { return Value(Json::binary(std::move(value))); }

    bool start_object(std::size_t) {
        if (++objects_ > limits_.max_objects) {
            reader_.Fail(Path(), "more than " + std::to_string(limits_.max_objects) +
                                     " objects in the file, the most an inventory may hold");
        }
        Open(false, Json::value_t::object);
        return true;
    }

    bool start_array(std::size_t) {
        Open(true, Json::value_t::array);
        return true;
    }

    bool key(Json::string_t& key) {
        Frame& frame = frames_.back();
        auto& object = frame.node->get_ref<Json::object_t&>();
        const auto [member, added] = object.emplace(std::move(key), nullptr);
        frame.key = &member->first;
        if (!added) {
            reader_.Fail(Path(), "member repeated");
        }
        if (object.size() > limits_.max_members) {
            reader_.Fail(Path(), TooMany("members in one object"));
        }
        frame.member = &member->second;
        return true;
    }

    bool end_object() { return Close(); }
    bool end_array() { return Close(); }

    template <typename Exception>
    bool parse_error(std::size_t, const std::string&, const Exception& error) {
        throw error;
    }

private:
    // An open object or array. The nodes it points to stay put while it is open: only the
    // innermost container grows.
    struct Frame {
        bool array;
        std::size_t index;
        const std::string* key;  // the member being read, in an object
        Json* node;
        Json* member;
    };

    Json& Place(Json&& value) {
        if (frames_.empty()) {
            root_ = std::move(value);
            return root_;
        }
        Frame& frame = frames_.back();
        if (frame.array) {
            auto& elements = frame.node->get_ref<Json::array_t&>();
            elements.push_back(std::move(value));
            return elements.back();
        }
        *frame.member = std::move(value);
        return *frame.member;
    }

    bool Value(Json&& value) {
        Place(std::move(value));
        NextElement();
        return true;
    }

    void Open(bool array, Json::value_t type) {
        if (frames_.size() == limits_.max_nesting) {
            reader_.Fail(Path(), "nested deeper than " + std::to_string(limits_.max_nesting) +
                                     " levels, more than an inventory has");
        }
        Json& node = Place(Json(type));
        frames_.push_back(Frame{array, 0, nullptr, &node, nullptr});
    }

    bool Close() {
        frames_.pop_back();
        NextElement();
        return true;
    }

    std::string TooMany(const char* what) const {
        return "more than " + std::to_string(limits_.max_members) + " " + what +
               ", the most an inventory may hold";
    }

    // Called once an element of an array is complete; the path still names it.
    void NextElement() {
        if (!frames_.empty() && frames_.back().array) {
            Frame& frame = frames_.back();
            if (frame.index == limits_.max_members) {
                reader_.Fail(Path(), TooMany("elements in one array"));
            }
            ++frame.index;
        }
    }

    std::string Path() const {
        std::string path;
        for (const Frame& frame : frames_) {
            path += frame.array ? "/" + std::to_string(frame.index)
                                : PointerStep(frame.key == nullptr ? std::string() : *frame.key);
        }
        return path;
    }

    const Reader& reader_;
    InventoryLimits limits_;
    Json& root_;
    std::vector<Frame> frames_;
    std::size_t objects_ = 0;
};

InventoryError TooLarge(const std::string& source, const InventoryLimits& limits) {
    constexpr std::size_t kMiB = 1024 * 1024;
    const std::string size = limits.max_bytes % kMiB == 0
                                 ? std::to_string(limits.max_bytes / kMiB) + " MiB"
                                 : std::to_string(limits.max_bytes) + " bytes";
    return InventoryError(source + ": larger than " + size + ", the most an inventory may hold");
}

std::string KindOf(std::filesystem::file_type type) {
    switch (type) {
        case std::filesystem::file_type::directory:
            return "a directory";
        case std::filesystem::file_type::character:
            return "a character device";
        case std::filesystem::file_type::block:
            return "a block device";
        case std::filesystem::file_type::fifo:
            return "a FIFO";
        case std::filesystem::file_type::socket:
            return "a socket";
        default:
            return "of an unknown kind";
    }
}

}  // namespace

InventoryError::InventoryError(const std::string& message) : std::runtime_error(message) {}

std::optional<int> InventoryEndpoint::FailureOf(const std::string& call) const {
    const auto found = failures.find(call);
    if (found == failures.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool InventoryEndpoint::Admits(const std::string& user, const std::string& password) const {
    return !credentials || (credentials->user == user && credentials->password == password);
}

std::shared_ptr<const Inventory> Inventory::Load(const std::string& path,
                                                 const InventoryLimits& limits) {
    return FromText(ReadWhole(path, limits), path, limits);
}

std::shared_ptr<const Inventory> Inventory::Parse(const std::string& json_text,
                                                  const std::string& source_name,
                                                  const InventoryLimits& limits) {
    return FromText(json_text, source_name, limits);
}

std::string Inventory::ReadWhole(const std::string& path, const InventoryLimits& limits) {
    // Checked before opening: opening a FIFO would wait for a writer, and a device such as
    // /dev/zero never ends.
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
        throw InventoryError(path + ": cannot open: " + error.message());
    }
    if (!fs::is_regular_file(status)) {
        throw InventoryError(path + ": not a regular file (" + KindOf(status.type()) + ")");
    }
    const InventoryError too_large = TooLarge(path, limits);
    if (fs::file_size(path, error) > limits.max_bytes && !error) {
        throw too_large;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        throw InventoryError(path + ": cannot open: " + std::generic_category().message(errno));
    }
    // Bounded also when the file grows while it is read.
    std::string text;
    char buffer[65536];
    std::size_t count = 0;
    while (text.size() <= limits.max_bytes &&
           (count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, count);
    }
    if (std::ferror(file.get())) {
        throw InventoryError(path + ": cannot read: " + std::generic_category().message(errno));
    }
    if (text.size() > limits.max_bytes) {
        throw too_large;
    }
    return text;
}

std::shared_ptr<const Inventory> Inventory::FromText(std::string json_text,
                                                     const std::string& source_name,
                                                     const InventoryLimits& limits) {
    if (json_text.size() > limits.max_bytes) {
        throw TooLarge(source_name, limits);
    }
    const Reader reader(source_name);
    Json document;
    try {
        CheckedTreeBuilder builder(reader, limits, document);
        Json::sax_parse(json_text, &builder);
    } catch (const Json::parse_error& error) {
        throw InventoryError(source_name + ":" + LineAndColumn(json_text, error.byte) + ": " +
                             ParserMessage(error.what()));
    } catch (const Json::exception& error) {
        // Such as a number beyond a double's range, which has no place of its own.
        throw InventoryError(source_name + ": " + ParserMessage(error.what()));
    }
    // The tree and the records built from it are what the memory goes to from here on.
    std::string().swap(json_text);

    try {
        const Members top(reader, document, "", {"hosts"});
        auto inventory = std::make_shared<Inventory>();
        top.Required("hosts");
        top.EachMember("hosts",
                       [&](const std::string& address, const Json& value, const std::string& path) {
                           if (address.empty()) {
                               reader.Fail(path, "expected a host address, found an empty name");
                           }
                           inventory->hosts_.emplace(address, ReadHost(reader, value, path));
                       });
        return inventory;
    } catch (const Json::exception& error) {
        // The checks above ask each value's type before reading it; should one be missed, the
        // caller still gets the error this file promises.
        throw InventoryError(source_name + ": " + ParserMessage(error.what()));
    }
}

const InventoryEndpoint* Inventory::Find(const std::string& address) const {
    const auto found = hosts_.find(address);
    return found == hosts_.end() ? nullptr : &found->second;
}

}  // namespace Tesmora
