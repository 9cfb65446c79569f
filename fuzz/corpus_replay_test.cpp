// Replays a fuzz target's corpus under GoogleTest, so that every compiler and
// every sanitizer pass of the suite runs the seeds and the inputs that once
// broke the loaders.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fs = std::filesystem;

TEST(CorpusReplay, EveryInputRunsCleanly)
{
    std::vector<fs::path> inputs;
    for (const auto &entry : fs::directory_iterator(KX_CORPUS_DIR))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    ASSERT_GE(inputs.size(), 10u) << "seed corpus missing in " << KX_CORPUS_DIR;
    for (const fs::path &input : inputs) {
        SCOPED_TRACE(input.string());
        std::ifstream in(input, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // A broken input aborts or trips a sanitizer: the test process dies.
        EXPECT_EQ(0, LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()));
    }
}
