// Runs a fuzz entry over seed files, for builds without libFuzzer.
//   fuzz_*_seeds [--piece-sizes] FILE_OR_DIR...
// --piece-sizes: every seed once per piece size class, chosen by a first byte put before it.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<std::string> prefixes{""};
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--piece-sizes") {
            prefixes = {std::string(1, '\0'), "\1", "\5", "\x3f"};
            continue;
        }
        std::vector<fs::path> files{argv[i]};
        if (fs::is_directory(argv[i])) {
            files.clear();
            for (const fs::directory_entry& entry : fs::directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        }
        for (const fs::path& path : files) {
            std::ifstream in(path, std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            for (const std::string& prefix : prefixes) {
                const std::string input = prefix + bytes;
                LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
                ++count;
            }
        }
    }
    std::printf("%d inputs run\n", count);
    return count > 0 ? 0 : 1;
}
