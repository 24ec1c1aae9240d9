// Replays files through a fuzz target's entry point, as libFuzzer does when it is handed files:
// each directory's regular files in name order. Builds without libFuzzer (GCC, MinGW) run the
// seed corpus and the reproducers of past crashes this way, as ordinary tests.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int index = 1; index < argc; ++index) {
        if (fs::is_directory(argv[index])) {
            std::vector<fs::path> files;
            for (const auto& entry : fs::directory_iterator(argv[index])) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else {
            inputs.emplace_back(argv[index]);
        }
    }
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
            return 1;
        }
        const std::string bytes(std::istreambuf_iterator<char>(file), {});
        std::printf("%s\n", input.filename().string().c_str());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    // A replay that found nothing to run proves nothing.
    return inputs.empty() ? 1 : 0;
}
