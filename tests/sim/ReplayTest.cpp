// Replays the nasty inputs kept in corpus/ through the fuzz targets' bodies, so what once
// broke a parser stays fixed without a fuzzer.

#include "fuzz/FuzzTargets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::vector<std::string> Inputs(const std::string& folder) {
    std::vector<std::string> inputs;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(CORPUS_DIR) + "/" + folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return inputs;
}

const uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

TEST(Replay, NastyInputsThroughEveryParser) {
    std::vector<std::string> scpi = Inputs("scpi");
    std::vector<std::string> bench = Inputs("bench");
    ASSERT_FALSE(scpi.empty());
    ASSERT_FALSE(bench.empty());
    for (const std::string& input : scpi) {
        FuzzScpi(Bytes(input), input.size());
        FuzzVisaNames(Bytes(input), input.size());
    }
    for (const std::string& input : bench) {
        FuzzBench(Bytes(input), input.size());
        FuzzScpi(Bytes(input), input.size());
    }
}

} // namespace
