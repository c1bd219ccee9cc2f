#include "Peers.h"

#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sources/record_ostream.hpp>
#include <boost/log/sources/severity_logger.hpp>
#include <boost/log/trivial.hpp>
#include <boost/make_shared.hpp>
#include <glog/logging.h>
#include <log4cxx/appenderskeleton.h>
#include <log4cxx/logger.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <mutex>
#include <string>
#include <utility>

namespace TevBench::Peers {

namespace {

// ---- spdlog ------------------------------------------------------------------------------

// spdlog's null_sink_mt takes no lock; this one takes a mutex, as a real sink would. Its
// mutex lies on a cache line that no logger shares: next to a logger's fields that every
// call reads, each lock taken by the other thread would cost this side one more trip of
// that line between the cores (up to 60% more time on two threads), an accident of the
// heap's layout that ours, whose logging mutex has a line of its own, does not pay.
class alignas(64) LockingNullSink : public spdlog::sinks::base_sink<std::mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        benchmark::DoNotOptimize(message.payload.data());
    }
    void flush_() override {}
};

// ---- log4cxx -----------------------------------------------------------------------------

class NullAppender : public log4cxx::AppenderSkeleton {
public:
    void close() override {}
    bool requiresLayout() const override { return false; }

protected:
    void append(const log4cxx::spi::LoggingEventPtr& event, log4cxx::helpers::Pool&) override
    {
        benchmark::DoNotOptimize(event->getRenderedMessage().data());
    }
};

// A logger at level info with `appender`, or one of its own, and no parent's.
log4cxx::LoggerPtr log4cxxWithNullAppender(const std::string& name, log4cxx::AppenderPtr appender = nullptr)
{
    log4cxx::LoggerPtr logger = log4cxx::Logger::getLogger(name);
    if (logger->getAllAppenders().empty()) {
        logger->setAdditivity(false);
        logger->addAppender(appender != nullptr ? appender : std::make_shared<NullAppender>());
        logger->setLevel(log4cxx::Level::getInfo());
    }
    return logger;
}

// ---- glog --------------------------------------------------------------------------------

class NullLogSink : public google::LogSink {
public:
    void send(google::LogSeverity, const char*, const char*, int, const google::LogMessageTime&, const char* message,
              size_t) override
    {
        benchmark::DoNotOptimize(message);
    }
};

// No log files, nothing on stderr, verbosity 0: every message goes to the sink alone.
void setUpGlog()
{
    static const bool done = [] {
        static NullLogSink sink;
        FLAGS_logtostderr = false;
        FLAGS_alsologtostderr = false;
        FLAGS_stderrthreshold = google::GLOG_FATAL;
        FLAGS_v = 0;
        google::InitGoogleLogging("tev_bench");
        for (int severity = 0; severity < google::NUM_SEVERITIES; ++severity)
            google::SetLogDestination(severity, "");
        google::AddLogSink(&sink);
        return true;
    }();
    (void)done;
}

// ---- Boost.Log ---------------------------------------------------------------------------

namespace logging = boost::log;
using BoostLogger = logging::sources::severity_logger_mt<logging::trivial::severity_level>;

class NullSinkBackend : public logging::sinks::basic_sink_backend<logging::sinks::synchronized_feeding> {
public:
    void consume(const logging::record_view& record)
    {
        benchmark::DoNotOptimize(record[logging::expressions::smessage].get_ptr());
    }
};

// One sink for the core (a synchronous frontend: it takes a mutex), and a core filter
// that lets info and above through.
void setUpBoostLog()
{
    static const bool done = [] {
        const auto core = logging::core::get();
        core->add_sink(boost::make_shared<logging::sinks::synchronous_sink<NullSinkBackend>>());
        core->set_filter(logging::trivial::severity >= logging::trivial::info);
        return true;
    }();
    (void)done;
}

} // namespace

std::shared_ptr<spdlog::sinks::sink> spdlogNullSink()
{
    return std::make_shared<LockingNullSink>();
}

std::shared_ptr<spdlog::logger> spdlogWithNullSink(const std::string& name, std::shared_ptr<spdlog::sinks::sink> sink)
{
    auto logger = std::make_shared<spdlog::logger>(name, sink != nullptr ? std::move(sink) : spdlogNullSink());
    logger->set_level(spdlog::level::info);
    return logger;
}

// ---- log4cxx scenarios ------------------------------------------------------------------------

void log4cxx1LevelOff(benchmark::State& state)
{
    const log4cxx::LoggerPtr logger = log4cxxWithNullAppender("bench.1");
    int i = 0;
    for (auto _ : state) {
        disabledStatements([&] { LOG4CXX_DEBUG(logger, "msg " << i); });
        ++i;
        benchmark::DoNotOptimize(i);
    }
}

void log4cxx2Formatted(benchmark::State& state)
{
    const log4cxx::LoggerPtr logger = log4cxxWithNullAppender("bench.2");
    int i = 0;
    for (auto _ : state)
        LOG4CXX_INFO(logger, "Hello logger: msg number " << i++);
}

void log4cxx3Literal(benchmark::State& state)
{
    const log4cxx::LoggerPtr logger = log4cxxWithNullAppender("bench.3");
    for (auto _ : state)
        LOG4CXX_INFO(logger, "literal");
}

void log4cxx6GetLogger(benchmark::State& state)
{
    constexpr int count = 1000;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "bench6.%04d", i);
        names.emplace_back(name);
        log4cxxWithNullAppender(name);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(log4cxx::Logger::getLogger(names[i]));
        i = (i + 389) % count;
    }
}

void log4cxx9OwnAppenders(benchmark::State& state)
{
    const log4cxx::LoggerPtr logger = log4cxxWithNullAppender(state.thread_index() == 0 ? "bench.9.a" : "bench.9.b");
    int i = 0;
    for (auto _ : state)
        LOG4CXX_INFO(logger, "Hello logger: msg number " << i++);
}

void log4cxx9SharedAppender(benchmark::State& state)
{
    static const log4cxx::AppenderPtr appender = std::make_shared<NullAppender>();
    const log4cxx::LoggerPtr logger =
        log4cxxWithNullAppender(state.thread_index() == 0 ? "bench.9.shared.a" : "bench.9.shared.b", appender);
    int i = 0;
    for (auto _ : state)
        LOG4CXX_INFO(logger, "Hello logger: msg number " << i++);
}

// ---- glog scenarios ---------------------------------------------------------------------------

void glog1VlogOff(benchmark::State& state)
{
    setUpGlog();
    int i = 0;
    for (auto _ : state) {
        disabledStatements([&] { VLOG(1) << "msg " << i; });
        ++i;
        benchmark::DoNotOptimize(i);
    }
}

void glog2Formatted(benchmark::State& state)
{
    setUpGlog();
    int i = 0;
    for (auto _ : state)
        LOG(INFO) << "Hello logger: msg number " << i++;
}

void glog3Literal(benchmark::State& state)
{
    setUpGlog();
    for (auto _ : state)
        LOG(INFO) << "literal";
}

// ---- Boost.Log scenarios --------------------------------------------------------------------

void boostLog1FilteredOut(benchmark::State& state)
{
    setUpBoostLog();
    BoostLogger logger;
    int i = 0;
    for (auto _ : state) {
        disabledStatements([&] { BOOST_LOG_SEV(logger, logging::trivial::debug) << "msg " << i; });
        ++i;
        benchmark::DoNotOptimize(i);
    }
}

void boostLog2Formatted(benchmark::State& state)
{
    setUpBoostLog();
    BoostLogger logger;
    int i = 0;
    for (auto _ : state)
        BOOST_LOG_SEV(logger, logging::trivial::info) << "Hello logger: msg number " << i++;
}

void boostLog3Literal(benchmark::State& state)
{
    setUpBoostLog();
    BoostLogger logger;
    for (auto _ : state)
        BOOST_LOG_SEV(logger, logging::trivial::info) << "literal";
}

void boostLog9TwoLoggers(benchmark::State& state)
{
    setUpBoostLog();
    BoostLogger logger; // one per thread, both into the core's one sink
    int i = 0;
    for (auto _ : state)
        BOOST_LOG_SEV(logger, logging::trivial::info) << "Hello logger: msg number " << i++;
}

// ---- the latency scenario -------------------------------------------------------------------

namespace {

spdlog::logger& spdlogLatencyLogger()
{
    static const std::shared_ptr<spdlog::logger> logger = spdlogWithNullSink("bench.10");
    return *logger;
}

const log4cxx::LoggerPtr& log4cxxLatencyLogger()
{
    static const log4cxx::LoggerPtr logger = log4cxxWithNullAppender("bench.10");
    return logger;
}

BoostLogger& boostLatencyLogger()
{
    static BoostLogger logger;
    return logger;
}

} // namespace

void prepareFormattedCalls()
{
    spdlogLatencyLogger();
    log4cxxLatencyLogger();
    setUpGlog();
    setUpBoostLog();
    boostLatencyLogger();
}

void spdlogFormattedCall(int i)
{
    spdlogLatencyLogger().info("Hello logger: msg number {}", i);
}

void log4cxxFormattedCall(int i)
{
    LOG4CXX_INFO(log4cxxLatencyLogger(), "Hello logger: msg number " << i);
}

void glogFormattedCall(int i)
{
    LOG(INFO) << "Hello logger: msg number " << i;
}

void boostLogFormattedCall(int i)
{
    BOOST_LOG_SEV(boostLatencyLogger(), logging::trivial::info) << "Hello logger: msg number " << i;
}

} // namespace TevBench::Peers
