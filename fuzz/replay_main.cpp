// Runs a fuzz target's entry point once on every file named on the command
// line (or found in a directory named there), without libFuzzer: the saved
// corpus becomes a regression test of the ordinary builds.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size);

namespace {

int replay(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the file's size, so reading past it is caught.
    std::vector<uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.data(), input.size());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    int failures = 0, replayed = 0;
    for (int i = 1; i < argc; i++) {
        std::filesystem::path path(argv[i]);
        if (!std::filesystem::is_directory(path)) {
            failures += replay(path);
            replayed++;
            continue;
        }
        for (const auto &entry : std::filesystem::directory_iterator(path))
            if (entry.is_regular_file()) {
                failures += replay(entry.path());
                replayed++;
            }
    }
    std::printf("replayed %d inputs\n", replayed);
    return failures == 0 && replayed > 0 ? 0 : 1;
}
