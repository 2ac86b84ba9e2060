// Replays the seed corpus and every saved regression input through the
// fuzz target's entry point, so the normal build keeps them passing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(FuzzReplay, SavedInputsRunCleanly)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (const char* dir : {VELMORA_FUZZ_CORPUS_DIR, VELMORA_FUZZ_REGRESSION_DIR}) {
        if (!fs::is_directory(dir))
            continue;  // no regression inputs saved yet
        for (const fs::directory_entry& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    ASSERT_FALSE(inputs.empty());
    for (const fs::path& input : inputs) {
        // A failing input aborts the process; this line names it in the log.
        std::fprintf(stderr, "replaying %s\n", input.c_str());
        const std::string bytes = ReadFuzzFile(input.string());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
}
