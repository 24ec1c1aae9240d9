// Turns a fuzzer's bytes into values. libFuzzer's own FuzzedDataProvider comes with clang only,
// and the targets also build with GCC and MinGW to replay their corpus as ordinary tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Quendal::Fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return size_ == 0; }

    std::uint8_t Byte() {
        if (size_ == 0) {
            return 0;
        }
        --size_;
        return *data_++;
    }

    // Up to the next 0xFF byte, or to the end: any bytes at all, of any length the input has.
    std::string Text() {
        std::string text;
        while (size_ > 0 && *data_ != 0xFF) {
            text += static_cast<char>(Byte());
        }
        Byte();
        return text;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Stops the run where a property fails: libFuzzer keeps the input, the replay fails the test.
[[noreturn]] void Broken(const std::string& what, const std::string& detail);

}  // namespace Quendal::Fuzz
