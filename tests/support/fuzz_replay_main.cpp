// Feeds every file of the folders named on the command line to a fuzz target's entry point.
// A target reports a broken promise by aborting, which fails the test; an empty or missing
// folder fails too, so a corpus that went astray is noticed.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        for (const auto& item : std::filesystem::directory_iterator(argv[i], error)) {
            if (!item.is_regular_file())
                continue;
            std::ifstream in(item.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
        if (error) {
            std::fprintf(stderr, "replay: cannot read %s\n", argv[i]);
            return 1;
        }
    }
    std::printf("replay: %zu inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
