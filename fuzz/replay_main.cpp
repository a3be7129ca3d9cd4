// Feeds every file of the given corpus directories (or single files) to a fuzz target once, so the
// ordinary test suite checks each seed and every past finding in every build, without libFuzzer.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz_target.h"

namespace {

std::vector<std::filesystem::path> Inputs(const std::filesystem::path& argument) {
    std::vector<std::filesystem::path> inputs;
    std::error_code error;
    if (std::filesystem::is_directory(argument, error)) {
        for (const auto& entry : std::filesystem::directory_iterator(argument, error)) {
            if (entry.is_regular_file()) inputs.push_back(entry.path());
        }
        // A fixed order, so a failing run names the same input every time.
        std::sort(inputs.begin(), inputs.end());
    } else if (std::filesystem::is_regular_file(argument, error)) {
        inputs.push_back(argument);
    }
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus directory or file>...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        const std::vector<std::filesystem::path> inputs = Inputs(argv[i]);
        // An empty or missing corpus would make the replay pass without checking anything.
        if (inputs.empty()) {
            std::fprintf(stderr, "no inputs in %s\n", argv[i]);
            return 1;
        }
        for (const auto& path : inputs) {
            std::ifstream file(path, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            if (!file.good() && !file.eof()) {
                std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
                return 1;
            }
            std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.string().c_str(), bytes.size());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        }
        std::printf("%zu inputs from %s passed\n", inputs.size(), argv[i]);
    }
    return 0;
}
