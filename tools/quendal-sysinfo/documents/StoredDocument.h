// A stored document reduced to what a comparison reads: CONTENT's scalars and its packages'
// fields, as text. A package is some ten small strings; as tree nodes it takes several times its
// file, as one run of values with a key number per field less than its file. That keeps a diff of
// two large documents within a few times their size.
//
// What it holds is what CompareDocuments looks at in the module's tree. Scalars: CONTENT's
// children other than PACKAGES. Packages: each child keyed PACKAGE of each child keyed PACKAGES.
// Fields: a package's children. Each as its key and its node's own value (what lies below a node
// is not compared); where a key is repeated, the first of them counts, as find() reads it, and the
// later ones are not kept. A value is kept as an XML document holds it (Text.h: ill-formed UTF-8
// and what XML cannot hold, such as most control characters, each as one U+FFFD), so that the
// documents of one scan hold the same values whatever format they were stored in: XML cannot
// carry what JSON and INFO keep.
//
// Plain values: copies are independent, nothing is shared between threads, and only allocation
// failure throws, except Add*, which throw DocumentError once the values pass 4 GiB.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quendal::Tool {

class StoredDocument {
public:
    struct Field {
        std::uint32_t key;  // its number among keys_
        std::uint32_t value_at;
        std::uint32_t value_size;
    };
    struct Fields {
        const Field* first;
        const Field* last;
        const Field* begin() const { return first; }
        const Field* end() const { return last; }
    };
    static constexpr std::uint32_t kNoKey = UINT32_MAX;

    // The module's tree (or one read back) in this form.
    static StoredDocument FromTree(const boost::property_tree::ptree& document);

    Fields Scalars() const { return {scalars_.data(), scalars_.data() + scalars_.size()}; }
    std::size_t PackageCount() const { return package_ends_.size(); }
    Fields Package(std::size_t index) const;
    std::size_t KeyCount() const { return keys_.size(); }
    const std::string& Key(std::uint32_t key) const { return keys_[key]; }
    std::string_view Value(const Field& field) const {
        return std::string_view(values_).substr(field.value_at, field.value_size);
    }
    // kNoKey when no field or scalar has this key.
    std::uint32_t KeyNumber(std::string_view key) const;
    // The value of the package's field under key (a number from KeyNumber), if it has one.
    std::optional<std::string_view> ValueOf(Fields fields, std::uint32_t key) const;

    // Building, in document order: scalars and packages may interleave, as they may in a file.
    // AddField adds to the package last started.
    void Reserve(std::size_t value_bytes) { values_.reserve(value_bytes); }
    void AddScalar(std::string_view key, std::string_view value);
    void StartPackage();
    void AddField(std::string_view key, std::string_view value);

    // Same scalars and packages, each in the same order with the same keys and values.
    friend bool operator==(const StoredDocument& first, const StoredDocument& second);

private:
    std::uint32_t Intern(std::string_view key);
    Field Append(std::uint32_t key, std::string_view value);

    std::vector<std::string> keys_;
    std::map<std::string, std::uint32_t, std::less<>> numbers_;
    std::string values_;
    std::vector<Field> scalars_;
    std::vector<Field> fields_;                // every package's, one package after another
    std::vector<std::uint32_t> package_ends_;  // where in fields_ each package ends
    // Per key: whether a scalar has it, and the package (counted from 1) that last had it; what a
    // repeated key finds there is not kept.
    std::vector<bool> scalar_keys_;
    std::vector<std::uint32_t> last_package_;
};

}  // namespace Quendal::Tool
