#ifndef TEV_BENCH_PLACEMENT_H
#define TEV_BENCH_PLACEMENT_H

// Where the two threads of a two-thread scenario run. Left to the system, they share a
// core whenever something else runs on the other one, and a lock handed between them then
// costs a time slice instead of a trip of its cache line between the cores: the bench
// also measures them pinned, on two distinct cores and both on one core.

#include <sched.h>

#include <string>

namespace TevBench {

enum class Placement {
    free,     // wherever the system puts them
    twoCores, // one on each of two distinct cores
    oneCore   // both on one core
};

// The letter a placement adds after the scenario's number ("4d", "4s"), and the words
// that describe it.
const char* placementLetter(Placement where);
const char* placementWords(Placement where);

// The CPUs the pinned scenarios use, chosen among those the process may run on when it
// starts: the first, and the first other one that is not a hardware thread of the first's
// core. The first call must come while no thread is pinned (main() calls it first).
struct PinnedCpus {
    int first = -1;
    int second = -1;     // -1: the process may run on one core only
    std::string noTwo{}; // why there is no second
};
const PinnedCpus& pinnedCpus();

// Which CPUs the figures of a placement come from, for the output.
std::string placementCpus(Placement where);

// Whether the machine offers the placement.
bool placementAvailable(Placement where);

// The CPU that thread `thread` (0 or 1) of a scenario placed `where` runs on; -1: unpinned.
int cpuFor(Placement where, int thread);

// Pins the calling thread to one CPU for its lifetime (nothing for -1), then gives it
// back the CPUs it could run on before.
class PinnedThread {
public:
    explicit PinnedThread(int cpu);
    ~PinnedThread();

    PinnedThread(const PinnedThread&) = delete;
    PinnedThread& operator=(const PinnedThread&) = delete;

    // Whether it was to pin the thread and could not.
    bool failed() const { return failed_; }

private:
    bool failed_;
    bool pinned_ = false;
    cpu_set_t before_{};
};

} // namespace TevBench

#endif
