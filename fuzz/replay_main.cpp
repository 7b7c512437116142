// Replays saved fuzz inputs through a target's entry point, so that every
// build (not only the clang fuzzing build) checks the seed corpus and every
// input that once made a target fail.
//
// Usage: <target>_replay PATH...   (files, or folders whose regular files are
// replayed in name order). Exits 0 when every input was replayed, 1 when a
// path cannot be read; a failing input shows up as the sanitizer's report or
// an uncaught exception, which ends the process abnormally.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replayFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    // A copy of exactly the file's size, so that a read past the end is
    // caught by the address sanitizer as it would be under the fuzzer.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path root(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(root, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                ok = replayFile(file) && ok;
                ++replayed;
            }
        } else if (std::filesystem::exists(root, error)) {
            ok = replayFile(root) && ok;
            ++replayed;
        }
        // A folder that does not exist (no findings yet) replays nothing.
    }
    std::printf("replayed %zu inputs\n", replayed);
    return ok ? 0 : 1;
}
