#include "StoredDocument.h"

#include <boost/property_tree/ptree.hpp>
#include <limits>

#include "Diff.h"
#include "SysinfoOutput.h"

namespace Quendal::Tool {

StoredDocument StoredDocument::FromTree(const boost::property_tree::ptree& document) {
    StoredDocument stored;
    const auto content = document.find("CONTENT");
    if (content == document.not_found()) {
        return stored;
    }
    for (const auto& [key, child] : content->second) {
        if (key != "PACKAGES") {
            stored.AddScalar(key, child.data());
            continue;
        }
        for (const auto& [package_key, package] : child) {
            if (package_key != "PACKAGE") {
                continue;
            }
            stored.StartPackage();
            for (const auto& [field_key, field] : package) {
                stored.AddField(field_key, field.data());
            }
        }
    }
    return stored;
}

StoredDocument::Fields StoredDocument::Package(std::size_t index) const {
    const std::size_t first = index == 0 ? 0 : package_ends_[index - 1];
    return {fields_.data() + first, fields_.data() + package_ends_[index]};
}

std::uint32_t StoredDocument::KeyNumber(std::string_view key) const {
    const auto found = numbers_.find(key);
    return found == numbers_.end() ? kNoKey : found->second;
}

std::optional<std::string_view> StoredDocument::ValueOf(Fields fields, std::uint32_t key) const {
    for (const Field& field : fields) {
        if (field.key == key) {
            return Value(field);
        }
    }
    return std::nullopt;
}

void StoredDocument::AddScalar(std::string_view key, std::string_view value) {
    const std::uint32_t number = Intern(key);
    if (!scalar_keys_[number]) {
        scalar_keys_[number] = true;
        scalars_.push_back(Append(number, value));
    }
}

void StoredDocument::StartPackage() {
    package_ends_.push_back(static_cast<std::uint32_t>(fields_.size()));
}

void StoredDocument::AddField(std::string_view key, std::string_view value) {
    const std::uint32_t number = Intern(key);
    const auto package = static_cast<std::uint32_t>(package_ends_.size());
    if (last_package_[number] != package) {
        last_package_[number] = package;
        fields_.push_back(Append(number, value));
        package_ends_.back() = static_cast<std::uint32_t>(fields_.size());
    }
}

std::uint32_t StoredDocument::Intern(std::string_view key) {
    if (const auto found = numbers_.find(key); found != numbers_.end()) {
        return found->second;
    }
    const auto number = static_cast<std::uint32_t>(keys_.size());
    keys_.emplace_back(key);
    numbers_.emplace(key, number);
    scalar_keys_.push_back(false);
    last_package_.push_back(0);
    return number;
}

StoredDocument::Field StoredDocument::Append(std::uint32_t key, std::string_view value) {
    constexpr std::size_t kMost = std::numeric_limits<std::uint32_t>::max();
    const std::size_t at = values_.size();
    if (XmlHoldsAsItIs(value)) {
        values_.append(value);
    } else {
        AppendAsXmlHoldsIt(values_, value);
    }
    if (values_.size() > kMost) {
        values_.resize(at);
        throw DocumentError("a stored document holds more than 4 GiB of values");
    }
    return Field{key, static_cast<std::uint32_t>(at),
                 static_cast<std::uint32_t>(values_.size() - at)};
}

namespace {

bool SameFields(const StoredDocument& first, StoredDocument::Fields first_fields,
                const StoredDocument& second, StoredDocument::Fields second_fields) {
    if (first_fields.end() - first_fields.begin() != second_fields.end() - second_fields.begin()) {
        return false;
    }
    const StoredDocument::Field* other = second_fields.begin();
    for (const StoredDocument::Field& field : first_fields) {
        if (first.Key(field.key) != second.Key(other->key) ||
            first.Value(field) != second.Value(*other)) {
            return false;
        }
        ++other;
    }
    return true;
}

}  // namespace

bool operator==(const StoredDocument& first, const StoredDocument& second) {
    if (first.PackageCount() != second.PackageCount() ||
        !SameFields(first, first.Scalars(), second, second.Scalars())) {
        return false;
    }
    for (std::size_t index = 0; index < first.PackageCount(); ++index) {
        if (!SameFields(first, first.Package(index), second, second.Package(index))) {
            return false;
        }
    }
    return true;
}

}  // namespace Quendal::Tool
