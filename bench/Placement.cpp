#include "Placement.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace TevBench {

namespace {

// The CPUs of a list as the kernel writes them, "0-3,8,10-11".
std::vector<int> parseCpuList(const std::string& text)
{
    std::vector<int> cpus;
    std::istringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        const std::size_t dash = item.find('-');
        try {
            const int low = std::stoi(item.substr(0, dash));
            const int high = dash == std::string::npos ? low : std::stoi(item.substr(dash + 1));
            for (int cpu = low; cpu <= high; ++cpu)
                cpus.push_back(cpu);
        } catch (const std::exception&) {
            return {};
        }
    }
    return cpus;
}

// The CPUs that are hardware threads of `cpu`'s core, `cpu` included; just `cpu` when the
// system does not say.
std::vector<int> coreSiblings(int cpu)
{
    std::ifstream file("/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/thread_siblings_list");
    std::string text;
    std::getline(file, text);
    std::vector<int> siblings = parseCpuList(text);
    return siblings.empty() ? std::vector<int>{cpu} : siblings;
}

PinnedCpus choose()
{
    PinnedCpus chosen;
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) {
        chosen.noTwo = "the CPUs this process may run on are unknown";
        return chosen;
    }
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &allowed))
            continue;
        if (chosen.first < 0) {
            chosen.first = cpu;
            continue;
        }
        bool sameCore = false;
        for (int sibling : coreSiblings(chosen.first))
            sameCore = sameCore || sibling == cpu;
        if (!sameCore) {
            chosen.second = cpu;
            return chosen;
        }
    }
    chosen.noTwo = "this process may run on one core only";
    return chosen;
}

} // namespace

const char* placementLetter(Placement where)
{
    switch (where) {
    case Placement::free: return "";
    case Placement::twoCores: return "d";
    case Placement::oneCore: return "s";
    }
    return "";
}

const char* placementWords(Placement where)
{
    switch (where) {
    case Placement::free: return "the threads where the system puts them";
    case Placement::twoCores: return "the threads pinned to two distinct cores";
    case Placement::oneCore: return "both threads pinned to one core";
    }
    return "";
}

const PinnedCpus& pinnedCpus()
{
    static const PinnedCpus cpus = choose();
    return cpus;
}

std::string placementCpus(Placement where)
{
    const PinnedCpus& cpus = pinnedCpus();
    switch (where) {
    case Placement::free: return "wherever the system put them";
    case Placement::twoCores:
        if (cpus.second < 0)
            return "not measured: " + cpus.noTwo;
        return "CPUs " + std::to_string(cpus.first) + " and " + std::to_string(cpus.second);
    case Placement::oneCore: return "CPU " + std::to_string(cpus.first);
    }
    return "";
}

bool placementAvailable(Placement where)
{
    const PinnedCpus& cpus = pinnedCpus();
    return where == Placement::free || (cpus.first >= 0 && (where == Placement::oneCore || cpus.second >= 0));
}

int cpuFor(Placement where, int thread)
{
    if (!placementAvailable(where))
        return -1;
    switch (where) {
    case Placement::free: return -1;
    case Placement::twoCores: return thread == 0 ? pinnedCpus().first : pinnedCpus().second;
    case Placement::oneCore: return pinnedCpus().first;
    }
    return -1;
}

PinnedThread::PinnedThread(int cpu) : failed_(cpu >= 0)
{
    if (cpu < 0 || ::sched_getaffinity(0, sizeof before_, &before_) != 0)
        return;
    cpu_set_t only;
    CPU_ZERO(&only);
    CPU_SET(cpu, &only);
    pinned_ = ::sched_setaffinity(0, sizeof only, &only) == 0;
    failed_ = !pinned_;
}

PinnedThread::~PinnedThread()
{
    if (pinned_)
        ::sched_setaffinity(0, sizeof before_, &before_);
}

} // namespace TevBench
