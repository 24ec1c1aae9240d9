#include "JsonDocument.h"

#include <array>
#include <cstdint>

namespace Quendal::Tool {

namespace {

// What a value is to the comparison, which decides what becomes of its children.
enum class Role { kIgnored, kTop, kContent, kPackages, kPackage };

// Deeper than any document the shape check lets through; a guard for direct callers only.
constexpr std::size_t kDeepest = 32;

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool Read(JsonDocument& document) {
        document_ = &document;
        document.stored.Reserve(text_.size());  // values never take more than their source
        SkipBlanks();
        if (!Take('{')) {
            return false;
        }
        if (!Container(Role::kTop, 0, '}')) {
            return false;
        }
        SkipBlanks();
        return at_ == text_.size();
    }

private:
    // A scalar leaves its text in scalar_; an object or array leaves it empty, as the tree holds
    // no value for them.
    bool Value(Role role, std::size_t depth) {
        SkipBlanks();
        if (at_ == text_.size()) {
            return false;
        }
        const char c = text_[at_++];
        if (c == '{' || c == '[') {
            return Container(role, depth + 1, c == '{' ? '}' : ']');
        }
        if (c == '"') {
            return String(scalar_);
        }
        --at_;
        for (const std::string_view literal : {"true", "false", "null"}) {
            if (text_.compare(at_, literal.size(), literal) == 0) {
                scalar_.assign(literal);
                at_ += literal.size();
                return true;
            }
        }
        return Number();
    }

    bool Container(Role role, std::size_t depth, char close) {
        if (depth > kDeepest) {
            return false;
        }
        SkipBlanks();
        if (Take(close)) {
            scalar_.clear();
            return true;
        }
        std::string& key = keys_[depth];
        key.clear();  // array elements are keyed ""
        do {
            if (close == '}') {
                SkipBlanks();
                if (!Take('"') || !String(key)) {
                    return false;
                }
                SkipBlanks();
                if (!Take(':')) {
                    return false;
                }
            }
            if (!Member(role, key, depth)) {
                return false;
            }
            SkipBlanks();
        } while (Take(','));
        scalar_.clear();
        return Take(close);
    }

    bool Member(Role role, const std::string& key, std::size_t depth) {
        StoredDocument& stored = document_->stored;
        switch (role) {
            case Role::kTop:
                if (key == "CONTENT" && !document_->has_content) {
                    document_->has_content = true;
                    return Value(Role::kContent, depth);
                }
                if (key == "schema_version" && !document_->schema_version) {
                    if (!Value(Role::kIgnored, depth)) {
                        return false;
                    }
                    document_->schema_version = scalar_;
                    return true;
                }
                break;
            case Role::kContent:
                if (key == "PACKAGES") {
                    return Value(Role::kPackages, depth);
                }
                if (!Value(Role::kIgnored, depth)) {
                    return false;
                }
                stored.AddScalar(key, scalar_);
                return true;
            case Role::kPackages:
                // Elements of the array form are keyed "", repeated PACKAGE keys are the older
                // object form; both are packages.
                if (key.empty() || key == "PACKAGE") {
                    stored.StartPackage();
                    return Value(Role::kPackage, depth);
                }
                break;
            case Role::kPackage:
                if (!Value(Role::kIgnored, depth)) {
                    return false;
                }
                stored.AddField(key, scalar_);
                return true;
            case Role::kIgnored:
                break;
        }
        return Value(Role::kIgnored, depth);
    }

    // After the opening quote. Bytes below 0x20 are refused, UTF-8 is checked for its lead and
    // trailing bytes only, as the tree reader checks it.
    bool String(std::string& out) {
        out.clear();
        while (true) {
            const std::size_t run = at_;
            while (at_ < text_.size() && Plain(text_[at_])) {
                ++at_;
            }
            out.append(text_, run, at_ - run);
            if (at_ == text_.size()) {
                return false;
            }
            const auto byte = static_cast<unsigned char>(text_[at_]);
            if (byte == '"') {
                ++at_;
                return true;
            }
            if (byte < 0x20 || !(byte == '\\' ? Escape(out) : MultiByte(out))) {
                return false;
            }
        }
    }

    static bool Plain(char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
    }

    bool MultiByte(std::string& out) {
        const auto lead = static_cast<unsigned char>(text_[at_]);
        const int trailing = lead >= 0xF8   ? -1
                             : lead >= 0xF0 ? 3
                             : lead >= 0xE0 ? 2
                             : lead >= 0xC0 ? 1
                                            : -1;
        if (trailing < 0 || text_.size() - at_ <= static_cast<std::size_t>(trailing)) {
            return false;
        }
        for (int next = 1; next <= trailing; ++next) {
            if ((static_cast<unsigned char>(text_[at_ + next]) & 0xC0) != 0x80) {
                return false;
            }
        }
        out.append(text_, at_, trailing + 1);
        at_ += trailing + 1;
        return true;
    }

    bool Escape(std::string& out) {
        ++at_;
        if (at_ == text_.size()) {
            return false;
        }
        static constexpr std::string_view kNamed = "\"\\/bfnrt";
        static constexpr std::string_view kMeant = "\"\\/\b\f\n\r\t";
        const char c = text_[at_++];
        if (const auto named = kNamed.find(c); named != std::string_view::npos) {
            out += kMeant[named];
            return true;
        }
        std::uint32_t point = 0;
        if (c != 'u' || !HexQuad(point) || (point & 0xFC00) == 0xDC00) {
            return false;
        }
        if ((point & 0xFC00) == 0xD800) {
            std::uint32_t low = 0;
            if (!Take('\\') || !Take('u') || !HexQuad(low) || (low & 0xFC00) != 0xDC00) {
                return false;
            }
            point = 0x10000 + (((point & 0x3FF) << 10) | (low & 0x3FF));
        }
        AppendUtf8(out, point);
        return true;
    }

    bool HexQuad(std::uint32_t& point) {
        if (text_.size() - at_ < 4) {
            return false;
        }
        for (int digit = 0; digit < 4; ++digit) {
            const char c = text_[at_++];
            const int value = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (value < 0) {
                return false;
            }
            point = point * 16 + static_cast<std::uint32_t>(value);
        }
        return true;
    }

    static void AppendUtf8(std::string& out, std::uint32_t point) {
        const auto unit = [](std::uint32_t bits) { return static_cast<char>(bits); };
        const auto trail = [&](std::uint32_t bits) { return unit(0x80 | (bits & 0x3F)); };
        if (point < 0x80) {
            out += unit(point);
        } else if (point < 0x800) {
            out += {unit(0xC0 | (point >> 6)), trail(point)};
        } else if (point < 0x10000) {
            out += {unit(0xE0 | (point >> 12)), trail(point >> 6), trail(point)};
        } else {
            out +=
                {unit(0xF0 | (point >> 18)), trail(point >> 12), trail(point >> 6), trail(point)};
        }
    }

    // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?, kept as written.
    bool Number() {
        const std::size_t start = at_;
        Take('-');
        if (!Take('0')) {
            if (!Digits()) {
                return false;
            }
        }
        if (Take('.') && !Digits()) {
            return false;
        }
        if (Take('e') || Take('E')) {
            if (!Take('+')) {
                Take('-');
            }
            if (!Digits()) {
                return false;
            }
        }
        scalar_.assign(text_, start, at_ - start);
        return true;
    }

    bool Digits() {
        const std::size_t start = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            ++at_;
        }
        return at_ > start;
    }

    void SkipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' ||
                                      text_[at_] == '\t' || text_[at_] == '\r')) {
            ++at_;
        }
    }

    bool Take(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    JsonDocument* document_ = nullptr;
    std::string scalar_;
    std::array<std::string, kDeepest + 1>
        keys_;  // one per level: a member's key outlives its value
};

}  // namespace

std::optional<JsonDocument> ReadJsonDocument(std::string_view text) {
    JsonDocument document;
    if (!Reader(text).Read(document)) {
        return std::nullopt;
    }
    return document;
}

}  // namespace Quendal::Tool
