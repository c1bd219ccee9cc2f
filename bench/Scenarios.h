#ifndef TEV_BENCH_SCENARIOS_H
#define TEV_BENCH_SCENARIOS_H

#include <string>
#include <vector>

namespace TevBench {

// One comparison: our benchmark against a peer's, as named when registered.
struct Comparison {
    std::string label;  // "2", "5a"...
    std::string ours;   // the registered benchmark names
    std::string peer;
    double target;      // the largest acceptable ours/peer time ratio
    std::string what;   // "spdlog info(...)"
    double oursPer = 1; // divisors that turn a benchmark's time into the compared unit
    double peerPer = 1;
};

// How many times each benchmark runs; the best run counts.
constexpr int turns = 7;

// Registers every benchmark with Google Benchmark.
void registerScenarios();

// The comparisons that the benchmark runs feed, by scenario 1 to 7.
std::vector<Comparison> comparisons();

// Scenario 8, measured outside Google Benchmark: heap bytes of 10,000 loggers with full
// caches of 60-byte messages, and the bytes of those messages.
struct MemoryFigures {
    double oursBytes;
    double messageBytes;
};
MemoryFigures measureCacheMemory();

} // namespace TevBench

#endif
