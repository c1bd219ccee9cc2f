#ifndef TEV_BENCH_SCENARIOS_H
#define TEV_BENCH_SCENARIOS_H

#include "Placement.h"

#include <map>
#include <string>
#include <vector>

namespace TevBench {

// Every measured figure, by name ("ours/2_logstream_formatted"...), one per round, in the
// order the rounds ran. Within a round, ours and the peers run one after the other.
using Series = std::map<std::string, std::vector<double>>;

// One side of a comparison other than ours.
struct Side {
    std::string name;      // "spdlog"
    std::string series;    // its figures; empty when the peer has no counterpart
    std::string note = {}; // why there is no counterpart, or how it is set up
};

// What the other side of a comparison is.
enum class Against {
    peer,       // the peers, or a figure of the machine or of ours
    floor,      // the floor: a lock and a virtual call, measured beside ours
    information // peers that are not like ours, shown without a target (see `why`)
};

// One comparison: ours against each peer, round by round.
struct Comparison {
    std::string label;       // "2", "5a"...
    std::string what;        // what is compared
    std::string ours;        // our series
    std::vector<Side> peers; // the first one the target names, or all of them (see `best`)
    double target;           // the largest acceptable ours/peer ratio; 0: none
    bool best = true;        // the target is against the fastest peer; else against peers[0]
    double oursPer = 1;      // divisors that turn a figure into the compared unit
    double peerPer = 1;
    std::string unit = "ns";
    Against against = Against::peer;
    std::string why = {};                  // why an information line has no target
    Placement placement = Placement::free; // where a two-thread scenario's threads run
};

// How many rounds each scenario runs; a ratio is the median of its rounds' ratios.
constexpr int rounds = 9;
// How many rounds the scenarios whose price follows the machine's load from moment to
// moment run, short ones with their sides back to back: sides measured a tenth of a
// second apart would compare different machines.
constexpr int shortRounds = 101;

// Registers every benchmark with Google Benchmark, in rounds.
void registerScenarios();

// Every comparison, by scenario.
std::vector<Comparison> comparisons();

// Scenario 10: two threads make formatted calls into one logger, each call timed, placed
// as each placement the machine offers. Adds p50, p99 and p99.9 per side and round to
// `series` ("ours/10_p99", "ours/10d_p99"...).
void measureLatency(Series& series);

// Scenarios 4 and 9: what two distinct cores add to a side's price on one core, round by
// round ("ours/4x": ours on two cores over ours on one), for ours and for the floor.
void addCorePriceRatios(Series& series);

// Scenario 5: crisis lines against bare write(2)s of the same line and against spdlog's
// file sink flushed on every line, in many short rounds. The crisis log's file must not
// be the machine's own. Returns why it was skipped, or an empty string.
std::string measureCrisisLog(Series& series);

// Scenario 11: a message through the bundled backend 'file' against spdlog's rotating
// file sink, in many short rounds, both in a temporary directory that is removed afterwards.
// Closes every logger. Returns why it was skipped, or an empty string.
std::string measureFileBackend(Series& series);

// Scenario 7: installing a backend among 10,000 loggers against among 1,000, per logger,
// in many short rounds. Closes every logger.
void measureInstallScaling(Series& series);

// Scenario 8, measured once: heap bytes of 10,000 loggers with full caches of 60-byte
// messages, and the bytes of those messages.
struct MemoryFigures {
    double oursBytes;
    double messageBytes;
};
MemoryFigures measureCacheMemory();

} // namespace TevBench

#endif
