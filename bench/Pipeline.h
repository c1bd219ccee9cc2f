// Scenarios 12 to 14: the outputs that feed a log pipeline, JSON lines in files and the
// systemd journal, against what spdlog offers for each.
#ifndef TEV_BENCH_PIPELINE_H
#define TEV_BENCH_PIPELINE_H

#include "Scenarios.h"

#include <string>
#include <vector>

namespace TevBench {

// Scenarios 12 and 13: a message through the bundled backend 'file' writing JSON lines,
// against the same backend writing text lines (12) and against spdlog's rotating file
// sink with a pattern that looks like JSON (13), in many short rounds, all in a temporary
// directory that is removed afterwards. Closes every logger. Returns why it was skipped, or
// an empty string.
std::string measureJsonLines(Series& series);

// Scenario 14: a message through the bundled backend 'journal' against spdlog's systemd
// sink, both sending to a systemd-journald of the bench's own, which a child process
// starts in a mount namespace of its own and stops before it ends: the machine's journal
// never sees a line, and nothing is left running or mounted. Needs root. Call it while
// the process has one thread. Returns why it was skipped, or an empty string.
std::string measureJournal(Series& series);

// The comparisons of scenarios 12 to 14.
std::vector<Comparison> pipelineComparisons();

} // namespace TevBench

#endif
