// Runs every scenario against its peers in one process, in rounds, then prints one line
// per comparison and one line per scenario:
//   "bench N: ours X ns, <peer> Y ns, ratio R (target T, met|missed), spread S% over K rounds
//    [; floor F ns, ratio R (target T, met|missed), spread S%][; <peer> Z ns, ratio R, no target: why]; met|missed"
// A ratio is the median of the rounds' ratios, each round's ratio taken from sides that ran
// back to back; the spread is (largest - smallest) / median of those ratios.

#include "Pipeline.h"
#include "Scenarios.h"

#include <benchmark/benchmark.h>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using TevBench::Against;
using TevBench::Comparison;
using TevBench::Series;
using TevBench::Side;

// Keeps every run's time per iteration, in the order the runs came.
class SeriesReporter : public benchmark::ConsoleReporter {
public:
    explicit SeriesReporter(Series& series) : series_(series) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            const double nanoseconds = run.GetAdjustedRealTime() * multiplierToNanoseconds(run.time_unit);
            const std::string name =
                run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            series_[name].push_back(nanoseconds);
        }
        ConsoleReporter::ReportRuns(runs);
    }

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

    Series& series_;
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One peer's figures against ours.
struct PeerResult {
    std::string name;
    std::string note;
    bool measured = false;
    double time = 0;   // median over the rounds
    double ratio = 0;  // median of the rounds' ratios
    double spread = 0; // (largest - smallest ratio) / median ratio
    int rounds = 0;
};

struct Line {
    std::string label;
    std::string unit;
    Against against = Against::peer;
    TevBench::Placement placement = TevBench::Placement::free;
    std::string why;
    double target = 0; // 0: none
    double ours = 0;
    bool measured = false;
    std::string skipped; // why, when the scenario did not run
    std::vector<PeerResult> peers;
    std::size_t judged = 0; // the peer the target is about

    bool judgedByTarget() const { return target > 0 && skipped.empty(); }
    bool met() const { return measured && peers[judged].ratio <= target; }
    // How far from its target, for picking a scenario's worst comparison.
    double slack() const { return measured ? peers[judged].ratio / target : std::numeric_limits<double>::infinity(); }
};

Line evaluate(const Comparison& comparison, const Series& series)
{
    Line line;
    line.label = comparison.label;
    line.unit = comparison.unit;
    line.against = comparison.against;
    line.placement = comparison.placement;
    line.why = comparison.why;
    line.target = comparison.target;
    const auto ours = series.find(comparison.ours);
    std::vector<double> oursFigures;
    if (ours != series.end())
        for (double figure : ours->second)
            oursFigures.push_back(figure / comparison.oursPer);
    line.ours = median(oursFigures);
    for (const Side& side : comparison.peers) {
        PeerResult result{side.name, side.note};
        const auto peer = side.series.empty() ? series.end() : series.find(side.series);
        if (peer != series.end() && !oursFigures.empty()) {
            std::vector<double> times;
            std::vector<double> ratios;
            const std::size_t count = std::min(oursFigures.size(), peer->second.size());
            for (std::size_t round = 0; round < count; ++round) {
                times.push_back(peer->second[round] / comparison.peerPer);
                ratios.push_back(oursFigures[round] / times.back());
            }
            result.measured = count > 0;
            result.time = median(times);
            result.ratio = median(ratios);
            const auto [lowest, highest] = std::minmax_element(ratios.begin(), ratios.end());
            result.spread = count > 0 ? (*highest - *lowest) / result.ratio : 0;
            result.rounds = static_cast<int>(count);
        }
        line.peers.push_back(result);
    }
    // The target is against the fastest peer, or against the first one named.
    bool found = false;
    for (std::size_t i = 0; i < line.peers.size(); ++i) {
        if (!line.peers[i].measured)
            continue;
        if (!found || (comparison.best && line.peers[i].time < line.peers[line.judged].time))
            line.judged = i;
        found = true;
        if (!comparison.best)
            break;
    }
    line.measured = found && line.peers[line.judged].measured && (comparison.best || line.judged == 0);
    return line;
}

std::string spreadNote(const PeerResult& peer)
{
    if (peer.rounds == 1)
        return "measured once";
    char text[64];
    std::snprintf(text, sizeof text, "spread %.0f%% over %d rounds", peer.spread * 100, peer.rounds);
    return text;
}

// Every peer's figure and ratio, then the verdict.
void printDetail(const Line& line)
{
    if (!line.skipped.empty()) {
        std::printf("bench %s: skipped: %s\n", line.label.c_str(), line.skipped.c_str());
        return;
    }
    std::printf("bench %s: ours %.1f %s", line.label.c_str(), line.ours, line.unit.c_str());
    for (const PeerResult& peer : line.peers) {
        if (peer.measured)
            std::printf("; %s %.1f %s (ratio %.2f, %s)", peer.name.c_str(), peer.time, line.unit.c_str(), peer.ratio,
                        spreadNote(peer).c_str());
        else
            std::printf("; %s: %s", peer.name.c_str(), peer.note.empty() ? "not measured" : peer.note.c_str());
    }
    std::printf("\n");
}

// The other side of one comparison, its ratio and, with a target, its verdict.
std::string sidePart(const Line& line)
{
    if (!line.measured)
        return "not measured" + std::string(line.judgedByTarget() ? ", missed" : "");
    const PeerResult& peer = line.peers[line.judged];
    char text[256];
    if (line.target > 0)
        std::snprintf(text, sizeof text, "%s %.1f %s, ratio %.2f (target %.2f, %s), %s", peer.name.c_str(), peer.time,
                      line.unit.c_str(), peer.ratio, line.target, line.met() ? "met" : "missed",
                      spreadNote(peer).c_str());
    else
        std::snprintf(text, sizeof text, "%s %.1f %s, ratio %.2f, %s, no target%s%s", peer.name.c_str(), peer.time,
                      line.unit.c_str(), peer.ratio, spreadNote(peer).c_str(), line.why.empty() ? "" : ": ",
                      line.why.c_str());
    return text;
}

// One line per scenario: ours and the comparison furthest from its target, then the
// floor and the information lines, and the comparisons of the scenario's other placements,
// each after its label; last, the scenario's verdict: met when every target of the
// scenario is.
void printSummary(const std::vector<Line>& lines, const std::string& label, bool met)
{
    const auto main = std::max_element(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        const auto rank = [](const Line& line) {
            return std::make_tuple(line.skipped.empty(), line.against == Against::peer && line.target > 0,
                                   line.slack());
        };
        return rank(a) < rank(b);
    });
    if (!main->skipped.empty()) {
        std::printf("bench %s: skipped: %s\n", label.c_str(), main->skipped.c_str());
        return;
    }
    std::string missing;
    for (const PeerResult& other : main->peers)
        if (!other.measured)
            missing += (missing.empty() ? "" : ", ") + other.name;
    const std::string mainLabel = main->label == label ? "" : " (" + main->label + ")";
    std::printf("bench %s: ours %.1f %s%s, %s", label.c_str(), main->ours, main->unit.c_str(), mainLabel.c_str(),
                sidePart(*main).c_str());
    for (const Line& line : lines) {
        if (&line == &*main || (line.against == Against::peer && line.placement == main->placement))
            continue;
        if (!line.skipped.empty())
            std::printf("; %s: skipped: %s", line.label.c_str(), line.skipped.c_str());
        else if (line.against == Against::peer)
            std::printf("; %s: ours %.1f %s, %s", line.label.c_str(), line.ours, line.unit.c_str(),
                        sidePart(line).c_str());
        else
            std::printf("; %s: %s", line.label.c_str(), sidePart(line).c_str());
    }
    std::printf("%s%s; %s\n", missing.empty() ? "" : "; no counterpart: ", missing.c_str(), met ? "met" : "missed");
}

std::string scenarioOf(const std::string& label)
{
    std::size_t digits = 0;
    while (digits < label.size() && std::isdigit(static_cast<unsigned char>(label[digits])))
        ++digits;
    return label.substr(0, digits);
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

// Gives this process a /var/tmp of its own, an empty tmpfs in a private mount namespace,
// so that the crisis log's fixed path is not the machine's file and nothing is left
// behind. Must run while the process has one thread. Returns why not, or nothing.
std::string privateVarTmp()
{
    if (::geteuid() != 0)
        return "not root, so no private /var/tmp, and /var/tmp/tev.log is the machine's own";
    if (::unshare(CLONE_NEWNS) != 0)
        return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("making / a private mount: ") + std::strerror(errno);
    if (::mount("tmpfs", "/var/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777,size=256m") != 0)
        return std::string("mounting a tmpfs on /var/tmp: ") + std::strerror(errno);
    return {};
}

// Scenario 10's side figures for the threads placed `where`: p50, p99 and p99.9 of each
// side, medians over the rounds.
void printLatencies(const Series& series, TevBench::Placement where)
{
    const std::string letter = TevBench::placementLetter(where);
    const char* const sides[][2] = {{"floor", "floor/10"},        {"ours", "ours/10"},
                                    {"spdlog", "peer/10_spdlog"}, {"log4cxx", "peer/10_log4cxx"},
                                    {"glog", "peer/10_glog"},     {"Boost.Log", "peer/10_boost_log"}};
    if (series.count("ours/10" + letter + "_p99") == 0)
        return;
    std::printf("bench 10%s latencies (ns, medians over rounds):", letter.c_str());
    for (const auto& side : sides) {
        std::string name = side[1];
        name.insert(name.find('_') == std::string::npos ? name.size() : name.find('_'), letter);
        const auto figure = [&](const char* suffix) {
            const auto found = series.find(name + suffix);
            return found == series.end() ? 0.0 : median(found->second);
        };
        std::printf(" %s p50 %.0f p99 %.0f p99.9 %.0f;", side[0], figure("_p50"), figure("_p99"), figure("_p99.9"));
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    std::string noCrisisLog = privateVarTmp();
    // Which CPUs the pinned scenarios take, chosen while no thread is pinned.
    TevBench::pinnedCpus();
    // A logger lives in a process with threads. Until a process starts its first thread,
    // the C library takes a mutex without atomic instructions, at a fraction of the price, which
    // would make the floor and the peers' locks cheaper than they are wherever logging runs
    // on more than one thread; the library's own mutex never takes that shortcut.
    std::thread([] {}).join();

    // --benchmark_filter=REGEX also picks among the scenarios measured outside Google
    // Benchmark, by the names "5_crisis_log", "10_latency", "11_file_backend", "12_json_lines" (12 and
    // 13), "14_journal", "7_install_backend" and "8_cache_heap".
    std::string filter = ".";
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--benchmark_filter=", 19) == 0)
            filter = argv[i] + 19;
    const auto wanted = [&filter](const char* name) { return std::regex_search(name, std::regex(filter)); };

    benchmark::Initialize(&argc, argv);
    TevBench::registerScenarios();

    Series series;
    if (wanted("10_latency"))
        TevBench::measureLatency(series);
    if (noCrisisLog.empty() && wanted("5_crisis_log"))
        noCrisisLog = TevBench::measureCrisisLog(series);
    SeriesReporter reporter(series);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::string noFileBackend;
    if (wanted("11_file_backend"))
        noFileBackend = TevBench::measureFileBackend(series);
    const std::string noJsonLines = wanted("12_json_lines") ? TevBench::measureJsonLines(series) : "";
    const std::string noJournal = wanted("14_journal") ? TevBench::measureJournal(series) : "";
    if (wanted("7_install_backend"))
        TevBench::measureInstallScaling(series);
    if (wanted("8_cache_heap")) {
        const TevBench::MemoryFigures memory = TevBench::measureCacheMemory();
        series["ours/8_cache_heap"].push_back(memory.oursBytes);
        series["peer/8_message_bytes"].push_back(memory.messageBytes);
    }

    TevBench::addCorePriceRatios(series);
    std::vector<Comparison> comparisons = TevBench::comparisons();
    comparisons.push_back(
        Comparison{"8",
                   "heap of 10,000 loggers with full caches of 60-byte messages vs the messages' bytes",
                   "ours/8_cache_heap",
                   {{"message bytes", "peer/8_message_bytes"}},
                   2.5,
                   false,
                   1,
                   1,
                   "B"});
    const std::vector<Comparison> pipeline = TevBench::pipelineComparisons();
    comparisons.insert(comparisons.end(), pipeline.begin(), pipeline.end());
    std::sort(comparisons.begin(), comparisons.end(), [](const Comparison& a, const Comparison& b) {
        const int left = std::stoi(scenarioOf(a.label));
        const int right = std::stoi(scenarioOf(b.label));
        if (left != right)
            return left < right;
        return a.placement != b.placement ? a.placement < b.placement : a.label < b.label;
    });

    std::printf("\nComparisons (%d rounds, in each the sides one after the other, ours back to back with its floor "
                "and its usually fastest peer; ratios are medians of the rounds' ratios; %s)\n",
                TevBench::rounds, machine().c_str());
    std::printf("Two threads in 4, 9 and 10: pinned to two distinct cores in 4d, 9d and 10d (%s), both pinned to "
                "one core in 4s, 9s and 10s (%s), elsewhere %s\n",
                TevBench::placementCpus(TevBench::Placement::twoCores).c_str(),
                TevBench::placementCpus(TevBench::Placement::oneCore).c_str(),
                TevBench::placementCpus(TevBench::Placement::free).c_str());
    std::vector<Line> lines;
    for (const Comparison& comparison : comparisons) {
        Line line = evaluate(comparison, series);
        const std::string scenario = scenarioOf(comparison.label);
        if ((scenario == "12" || scenario == "13") && !noJsonLines.empty())
            line.skipped = noJsonLines;
        if (scenario == "14" && !noJournal.empty())
            line.skipped = "the journal: " + noJournal;
        if (scenario == "5" && !noCrisisLog.empty())
            line.skipped = "the crisis log: " + noCrisisLog;
        if (scenario == "11" && !noFileBackend.empty())
            line.skipped = noFileBackend;
        if (!TevBench::placementAvailable(comparison.placement)) {
            // Said where the filter picks the scenario: all of them, its series, or 10's name.
            if (!wanted(comparison.ours.c_str()) && !(scenario == "10" && wanted("10_latency")))
                continue;
            line.skipped = TevBench::pinnedCpus().noTwo;
        }
        // A filter leaves out what it did not pick.
        if (filter != "." && series.count(comparison.ours) == 0 && line.skipped.empty())
            continue;
        std::printf("  %-4s %s\n", comparison.label.c_str(), comparison.what.c_str());
        lines.push_back(line);
    }
    std::printf("\n");
    for (TevBench::Placement where :
         {TevBench::Placement::free, TevBench::Placement::twoCores, TevBench::Placement::oneCore})
        printLatencies(series, where);
    for (const Line& line : lines)
        printDetail(line);

    // One line per scenario, and whether each scenario met every target it has.
    std::map<int, std::vector<Line>> scenarios;
    for (const Line& line : lines)
        scenarios[std::stoi(scenarioOf(line.label))].push_back(line);
    std::printf("\n");
    int met = 0;
    int counted = 0;
    for (const auto& [scenario, scenarioLines] : scenarios) {
        bool judged = false;
        bool allMet = true;
        for (const Line& line : scenarioLines)
            if (line.judgedByTarget()) {
                judged = true;
                allMet = allMet && line.met();
            }
        printSummary(scenarioLines, std::to_string(scenario), allMet);
        if (judged) {
            ++counted;
            met += allMet ? 1 : 0;
        }
    }
    std::printf("bench: %d of %d targets met\n", met, counted);
    return 0;
}
