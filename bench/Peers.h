#ifndef TEV_BENCH_PEERS_H
#define TEV_BENCH_PEERS_H

// The peers, each set up with an output that does nothing but look at the message, so
// that every side pays only for its own path: spdlog (a sink that takes a mutex, as a
// real sink does), log4cxx (an appender; AppenderSkeleton takes its mutex), glog (a
// LogSink, with no log files and nothing on stderr) and Boost.Log (a synchronous sink
// around a backend that does nothing).

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace spdlog {
class logger;
namespace sinks {
class sink;
}
} // namespace spdlog

namespace TevBench {

// Scenario 1 runs its statement this many times per iteration, on every side: one
// statement below the threshold costs about a cycle, which the loop around it would
// otherwise hide.
constexpr int disabledPerIteration = 8;

// Runs `statement` disabledPerIteration times, each copy inlined and each reading its
// logger's state from memory anew, as a statement among other code does.
template <typename Statement>
inline __attribute__((always_inline)) void disabledStatements(Statement statement)
{
#pragma GCC unroll disabledPerIteration
    for (int k = 0; k < disabledPerIteration; ++k) {
        statement();
        benchmark::ClobberMemory();
    }
}

} // namespace TevBench

namespace TevBench::Peers {

// A sink that takes a mutex and drops the message.
std::shared_ptr<spdlog::sinks::sink> spdlogNullSink();

// A logger at level info whose one sink is `sink`, or a new null sink of its own.
std::shared_ptr<spdlog::logger> spdlogWithNullSink(const std::string& name,
                                                   std::shared_ptr<spdlog::sinks::sink> sink = nullptr);

// The benchmarks of one peer, in the scenarios' numbering. A peer without a function
// for a scenario has no counterpart there (see comparisons()).
void log4cxx1LevelOff(benchmark::State& state);
void log4cxx2Formatted(benchmark::State& state);
void log4cxx3Literal(benchmark::State& state);
void log4cxx6GetLogger(benchmark::State& state);
// Scenario 9: each thread's logger with an appender of its own, or both into one appender.
void log4cxx9OwnAppenders(benchmark::State& state);
void log4cxx9SharedAppender(benchmark::State& state);

void glog1VlogOff(benchmark::State& state);
void glog2Formatted(benchmark::State& state);
void glog3Literal(benchmark::State& state);

void boostLog1FilteredOut(benchmark::State& state);
void boostLog2Formatted(benchmark::State& state);
void boostLog3Literal(benchmark::State& state);
void boostLog9TwoLoggers(benchmark::State& state);

// One formatted message, "Hello logger: msg number <i>", into the peer's logger of the
// latency scenario; any thread may call them at once.
void spdlogFormattedCall(int i);
void log4cxxFormattedCall(int i);
void glogFormattedCall(int i);
void boostLogFormattedCall(int i);

// Builds every peer's loggers of the latency scenario, before it times anything.
void prepareFormattedCalls();

} // namespace TevBench::Peers

#endif
