// Runs a fuzz target without libFuzzer: a fixed-seed stream of random inputs of
// random lengths, plus the empty input and every file given on the command line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    long iterations = 20000;
    int firstFile = 1;
    if (argc > 1) {
        char *end = nullptr;
        const long n = std::strtol(argv[1], &end, 10);
        if (end && *end == '\0') {
            iterations = n;
            firstFile = 2;
        }
    }
    LLVMFuzzerTestOneInput(nullptr, 0);
    for (int i = firstFile; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::mt19937 rng(0x5eed);
    std::vector<uint8_t> buffer;
    for (long i = 0; i < iterations; ++i) {
        const size_t size = (rng() % 4 == 0) ? rng() % 2048 : rng() % 96;
        buffer.resize(size);
        for (auto &b : buffer)
            b = static_cast<uint8_t>(rng() % 8 == 0 ? 0 : rng());
        LLVMFuzzerTestOneInput(buffer.data(), buffer.size());
    }
    std::printf("%ld inputs passed\n", iterations + 1);
    return 0;
}
