// Reading an inventory file's records from its parsed JSON: the reader that names the file
// and the JSON pointer of every error, the member checks, and the record readers (shared by the
// parser in Inventory.cpp and the record readers in InventoryRecords.cpp). Everything throws
// InventoryError.
#pragma once

#include <functional>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tesmora/Inventory.h"

namespace Tesmora::inventory {

using Json = nlohmann::json;

// RFC 6901 escaping, so that an address or key holding '/' still names one place.
std::string PointerStep(const std::string& key);
// "a string", "an object", ... for an error message.
std::string Describe(const Json& value);
// Documentation inside the file: such keys are skipped wherever members are checked.
bool IsRemark(const std::string& key);

// Reading one file: every error names the file and the JSON pointer of the offending value.
class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    [[noreturn]] void Fail(const std::string& path, const std::string& message) const {
        throw InventoryError(source_ + ": at " + (path.empty() ? "the top level" : path) + ": " +
                             message);
    }

    void Expect(const Json& value, bool matches, const char* expected,
                const std::string& path) const {
        if (!matches) {
            Fail(path, std::string("expected ") + expected + ", found " + Describe(value));
        }
    }

    std::string Text(const Json& value, const std::string& path) const {
        Expect(value, value.is_string(), "a string", path);
        return value.get<std::string>();
    }

    bool Flag(const Json& value, const std::string& path) const {
        Expect(value, value.is_boolean(), "a boolean", path);
        return value.get<bool>();
    }

    int Integer(const Json& value, const std::string& path) const {
        Expect(value, value.is_number_integer(), "an integer", path);
        const std::optional<int> number = AsInt(value);
        if (!number) {
            Fail(path, "expected an integer, found one out of range");
        }
        return *number;
    }

    // The value as an int; nothing when it is no integer or one beyond an int's range.
    static std::optional<int> AsInt(const Json& value) {
        const bool fits = value.is_number_unsigned()
                              ? value.get<std::uint64_t>() <=
                                    static_cast<std::uint64_t>(std::numeric_limits<int>::max())
                              : value.is_number_integer() &&
                                    value.get<std::int64_t>() >= std::numeric_limits<int>::min() &&
                                    value.get<std::int64_t>() <= std::numeric_limits<int>::max();
        return fits ? std::optional<int>(value.get<int>()) : std::nullopt;
    }

private:
    std::string source_;
};

// The members of one JSON object, checked against the names it may hold.
class Members {
public:
    Members(const Reader& reader, const Json& object, std::string path,
            const std::vector<const char*>& allowed)
        : reader_(reader), object_(object), path_(std::move(path)) {
        reader_.Expect(object_, object_.is_object(), "an object", path_);
        for (const auto& [key, value] : object_.items()) {
            const bool known = std::any_of(allowed.begin(), allowed.end(),
                                           [&key = key](const char* name) { return key == name; });
            if (!known && !IsRemark(key)) {
                reader_.Fail(PathOf(key), "unknown member");
            }
        }
    }

    const std::string& Path() const { return path_; }
    std::string PathOf(const std::string& key) const { return path_ + PointerStep(key); }

    const Json* Find(const char* key) const {
        const auto found = object_.find(key);
        return found == object_.end() ? nullptr : &*found;
    }

    const Json& Required(const char* key) const {
        const Json* value = Find(key);
        if (value == nullptr) {
            reader_.Fail(path_, std::string("missing member \"") + key + "\"");
        }
        return *value;
    }

    // The path is only spelled out for an error: a large inventory reads millions of members.
    std::string Text(const char* key) const {
        const Json* value = Find(key);
        if (value == nullptr) {
            return std::string();
        }
        if (const auto* text = value->get_ptr<const Json::string_t*>()) {
            return *text;
        }
        return reader_.Text(*value, PathOf(key));
    }

    bool Flag(const char* key) const {
        const Json* value = Find(key);
        return value != nullptr && reader_.Flag(*value, PathOf(key));
    }

    int Integer(const char* key, int fallback) const {
        const Json* value = Find(key);
        return value == nullptr ? fallback : reader_.Integer(*value, PathOf(key));
    }

    // Calls read(element, path) for each element of the array under key, if there is one.
    template <typename Read>
    void EachElement(const char* key, Read read) const {
        const Json* array = Find(key);
        if (array == nullptr) {
            return;
        }
        const std::string path = PathOf(key);
        reader_.Expect(*array, array->is_array(), "an array", path);
        for (std::size_t index = 0; index < array->size(); ++index) {
            read((*array)[index], path + "/" + std::to_string(index));
        }
    }

    // Calls read(name, value, path) for each member of the object under key, if there is one.
    template <typename Read>
    void EachMember(const char* key, Read read) const {
        const Json* object = Find(key);
        if (object == nullptr) {
            return;
        }
        const std::string path = PathOf(key);
        reader_.Expect(*object, object->is_object(), "an object", path);
        for (const auto& [name, value] : object->items()) {
            if (!IsRemark(name)) {
                read(name, value, path + PointerStep(name));
            }
        }
    }

private:
    const Reader& reader_;
    const Json& object_;
    std::string path_;
};

// The record of one host; path is its JSON pointer.
InventoryEndpoint ReadHost(const Reader& reader, const Json& value, const std::string& path);

}  // namespace Tesmora::inventory
