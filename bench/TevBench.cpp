// Runs every scenario against its peer in one process, then prints one line per
// comparison and a summary: "bench N: ours X ns, peer Y ns, ratio R, target T, met|missed".

#include "Scenarios.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

// Keeps, for every benchmark, the best time per iteration over its repetitions: the
// figure least disturbed by whatever else the machine is doing.
class BestTimeReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            const double nanoseconds = run.GetAdjustedRealTime() * multiplierToNanoseconds(run.time_unit);
            const std::string name = run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            auto found = best_.find(name);
            if (found == best_.end())
                best_.emplace(name, nanoseconds);
            else
                found->second = std::min(found->second, nanoseconds);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    const std::map<std::string, double>& best() const { return best_; }

private:
    static double multiplierToNanoseconds(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kSecond: return 1e9;
        case benchmark::kMillisecond: return 1e6;
        case benchmark::kMicrosecond: return 1e3;
        case benchmark::kNanosecond: return 1;
        }
        return 1;
    }

    std::map<std::string, double> best_;
};

struct Line {
    std::string label;
    double ours;
    double peer;
    double target;
    bool measured;
    std::string unit;

    double ratio() const { return ours / peer; }
    bool met() const { return measured && ratio() <= target; }
    // How far from its target, for picking a scenario's worst comparison.
    double slack() const { return measured ? ratio() / target : std::numeric_limits<double>::infinity(); }
};

void print(const Line& line)
{
    if (!line.measured) {
        std::printf("bench %s: not measured, target %.2f, missed\n", line.label.c_str(), line.target);
        return;
    }
    std::printf("bench %s: ours %.1f %s, peer %.1f %s, ratio %.2f, target %.2f, %s\n", line.label.c_str(), line.ours,
                line.unit.c_str(), line.peer, line.unit.c_str(), line.ratio(), line.target,
                line.met() ? "met" : "missed");
}

std::string machine()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string text;
    while (std::getline(cpuinfo, text))
        if (text.rfind("model name", 0) == 0)
            return text.substr(text.find(':') + 2);
    return "unknown CPU";
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TevBench::registerScenarios();
    BestTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const std::map<std::string, double>& best = reporter.best();

    std::vector<Line> lines;
    std::printf("\nComparisons (best of %d turns taken in alternation; %s)\n", TevBench::turns, machine().c_str());
    for (const TevBench::Comparison& comparison : TevBench::comparisons()) {
        const auto ours = best.find(comparison.ours);
        const auto peer = best.find(comparison.peer);
        const bool measured = ours != best.end() && peer != best.end();
        Line line{comparison.label,
                  measured ? ours->second / comparison.oursPer : 0,
                  measured ? peer->second / comparison.peerPer : 0,
                  comparison.target,
                  measured,
                  "ns"};
        std::printf("  %-4s %s\n", comparison.label.c_str(), comparison.what.c_str());
        lines.push_back(line);
    }

    const TevBench::MemoryFigures memory = TevBench::measureCacheMemory();
    lines.push_back(Line{"8", memory.oursBytes, memory.messageBytes, 2.5, memory.messageBytes > 0, "B"});
    std::printf("  8    heap of 10,000 loggers with full caches of 60-byte messages vs the messages' bytes\n\n");

    // One line per comparison, then one per scenario: a scenario with several
    // comparisons is met when all of them are, and shows its worst one.
    std::map<std::string, Line> scenarios;
    for (const Line& line : lines) {
        print(line);
        const std::string scenario = line.label.substr(0, 1);
        auto found = scenarios.find(scenario);
        if (found == scenarios.end())
            scenarios.emplace(scenario, line);
        else if (line.slack() > found->second.slack())
            found->second = line;
    }
    std::printf("\n");
    int met = 0;
    for (auto& [scenario, worst] : scenarios) {
        Line line = worst;
        line.label = scenario;
        print(line);
        met += line.met() ? 1 : 0;
    }
    std::printf("bench: %d of %zu targets met\n", met, scenarios.size());
    return 0;
}
