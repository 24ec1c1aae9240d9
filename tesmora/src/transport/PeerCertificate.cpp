#include "transport/PeerCertificate.h"

#include <algorithm>

namespace Tesmora::Net {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kPrefixes[] = {"sha256:", "sha256//"};
// 32 bytes take 43 characters of base64 and one '=' of padding.
constexpr std::size_t kPinBase64Length = (kPinDigestBytes + 2) / 3 * 4;

// The bytes of strict base64: whole groups of four, '=' only as padding at the end.
std::optional<std::string> FromBase64(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    unsigned int bits = 0;
    int count = 0;
    std::size_t padding = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=') {
            if (i + 2 < text.size()) {
                return std::nullopt;
            }
            ++padding;
            continue;
        }
        const std::size_t value = kAlphabet.find(text[i]);
        if (value == std::string_view::npos || padding > 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<unsigned int>(value);
        if (++count == 4) {
            bytes += static_cast<char>((bits >> 16) & 0xFF);
            bytes += static_cast<char>((bits >> 8) & 0xFF);
            bytes += static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    if (count == 3) {
        bytes += static_cast<char>((bits >> 10) & 0xFF);
        bytes += static_cast<char>((bits >> 2) & 0xFF);
    } else if (count == 2) {
        bytes += static_cast<char>((bits >> 4) & 0xFF);
    }
    return bytes;
}

}  // namespace

std::string Base64(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        unsigned int group = static_cast<unsigned char>(bytes[i]) << 16;
        if (left > 1) {
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        if (left > 2) {
            group |= static_cast<unsigned char>(bytes[i + 2]);
        }
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        text += left > 2 ? kAlphabet[group & 63] : '=';
    }
    return text;
}

std::string PinOfDigest(std::string_view digest) {
    return std::string(kPrefixes[0]) + Base64(digest);
}

std::optional<std::string> CanonicalPin(std::string_view text, std::string* why) {
    const auto refuse = [&](const std::string& reason) -> std::optional<std::string> {
        if (why != nullptr) {
            *why = reason;
        }
        return std::nullopt;
    };
    const auto prefix = std::find_if(std::begin(kPrefixes), std::end(kPrefixes),
                                     [&](std::string_view p) { return text.rfind(p, 0) == 0; });
    if (prefix == std::end(kPrefixes)) {
        return refuse("a pin starts with sha256: (the SHA-256 of the certificate's public key)");
    }
    const std::string_view base64 = text.substr(prefix->size());
    if (base64.size() != kPinBase64Length) {
        return refuse("the base64 after sha256: has " + std::to_string(base64.size()) +
                      " characters, while a SHA-256 takes " + std::to_string(kPinBase64Length));
    }
    const std::optional<std::string> digest = FromBase64(base64);
    // The last character carries bits beyond the hash's; base64 writes them as zeros.
    if (!digest || digest->size() != kPinDigestBytes || Base64(*digest) != base64) {
        return refuse("the text after sha256: is not the base64 of a SHA-256");
    }
    return PinOfDigest(*digest);
}

bool IsPinned(const std::vector<std::string>& pins, std::string_view pin) {
    return std::find(pins.begin(), pins.end(), pin) != pins.end();
}

}  // namespace Tesmora::Net
