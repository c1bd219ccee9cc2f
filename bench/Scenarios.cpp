#include "Scenarios.h"

#include "Tev/Framework/Counting/Counter.h"
#include "Tev/Framework/CrisisLogging/CrisisLogger.h"
#include "Tev/Framework/Exceptions/FrameworkException.h"
#include "Tev/Framework/Framework.h"
#include "Tev/Framework/GenericLogger/Logger.h"
#include "Tev/Framework/Management/MemoryManager/IRegisteredObject.h"
#include "Tev/Framework/Management/MemoryManager/Registry.h"
#include "Tev/Framework/Management/PropertyManager.h"

#include <benchmark/benchmark.h>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace TevBench {

namespace {

using namespace Tev::Framework::GenericLogger;
namespace MemoryManager = Tev::Framework::Management::MemoryManager;

constexpr int registrySize = 1000;
// Sixty bytes, as a typical log line's text.
constexpr char message60[] = "connection 17 closed by peer after 1024 bytes, retrying now!";
static_assert(sizeof message60 - 1 == 60, "the message is 60 bytes");

// ---- the set-up shared by the logging scenarios --------------------------------------

class NullChannel : public LoggingChannel {
public:
    void log(LoggingLevel, const char* message) override { benchmark::DoNotOptimize(message); }
    void release() override {}
};

class NullBackend : public LoggerBackend {
public:
    LoggingChannel* createChannel(const char*) override { return &channel_; }

private:
    NullChannel channel_;
};

NullBackend& nullBackend()
{
    static NullBackend backend;
    return backend;
}

// A logger with one channel that does nothing.
Logger* loggerWithNullChannel(const char* name)
{
    static const bool installed = (Logger::installBackend(&nullBackend()), true);
    (void)installed;
    return Logger::getLogger(name);
}

// spdlog's null_sink_mt takes no lock; this one takes a mutex, as a real sink would.
class LockingNullSink : public spdlog::sinks::base_sink<std::mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg& message) override { benchmark::DoNotOptimize(message.payload.data()); }
    void flush_() override {}
};

std::shared_ptr<spdlog::logger> spdlogWithNullSink(const std::string& name)
{
    auto logger = std::make_shared<spdlog::logger>(name, std::make_shared<LockingNullSink>());
    logger->set_level(spdlog::level::info);
    return logger;
}

// ---- 1: a statement below the threshold ------------------------------------------------

void ours1LevelOff(benchmark::State& state)
{
    Logger* logger = loggerWithNullChannel("bench.1");
    int i = 0;
    for (auto _ : state) {
        TEV_LOG(logger, LevelDebug) << "msg " << i;
        ++i;
        benchmark::DoNotOptimize(i);
    }
}

void peer1LevelOff(benchmark::State& state)
{
    auto logger = spdlogWithNullSink("bench.1");
    int i = 0;
    for (auto _ : state) {
        logger->debug("msg {}", i);
        ++i;
        benchmark::DoNotOptimize(i);
    }
}

// ---- 2 and 4: a formatted message to a channel that does nothing ---------------------

void ours2Formatted(benchmark::State& state)
{
    Logger* logger = loggerWithNullChannel("bench.2");
    int i = 0;
    for (auto _ : state)
        LogStream(logger, LevelError) << "Hello logger: msg number " << i++;
}

void peer2Formatted(benchmark::State& state)
{
    static const std::shared_ptr<spdlog::logger> logger = spdlogWithNullSink("bench.2");
    int i = 0;
    for (auto _ : state)
        logger->info("Hello logger: msg number {}", i++);
}

// ---- 3: a literal message --------------------------------------------------------------

void ours3Literal(benchmark::State& state)
{
    Logger* logger = loggerWithNullChannel("bench.3");
    for (auto _ : state)
        LogStream(logger, LevelError) << "literal";
}

void peer3Literal(benchmark::State& state)
{
    auto logger = spdlogWithNullSink("bench.3");
    for (auto _ : state)
        logger->info("literal");
}

// ---- 5: the crisis log -----------------------------------------------------------------

const char* const crisisPath = "/var/tmp/tev.log";

off_t fileSize(const char* path)
{
    struct stat status {};
    return ::stat(path, &status) == 0 ? status.st_size : 0;
}

void ours5Crisis(benchmark::State& state)
{
    using Tev::Framework::CrisisLogging::CrisisLogger;
    const off_t sizeBefore = fileSize(crisisPath);
    CrisisLogger* crisis = nullptr;
    try {
        crisis = &CrisisLogger::instance();
    } catch (const Tev::Framework::Exceptions::FrameworkException& error) {
        state.SkipWithError(error.message());
        return;
    }
    for (auto _ : state)
        crisis->log(message60);
    // Give the file back as it was: this process holds its lock, so nobody wrote meanwhile.
    if (::truncate(crisisPath, sizeBefore) != 0)
        std::perror("truncate");
}

std::string crisisLine()
{
    return std::string("12:34:56.789 - ") + message60 + "\n";
}

void peer5Write(benchmark::State& state)
{
    const char* path = "/var/tmp/tev-bench-write.log";
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        state.SkipWithError("cannot open the peer's file");
        return;
    }
    const std::string line = crisisLine();
    for (auto _ : state)
        benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
    ::close(fd);
    ::unlink(path);
}

void peer5Spdlog(benchmark::State& state)
{
    const char* path = "/var/tmp/tev-bench-spdlog.log";
    {
        auto logger = spdlog::basic_logger_mt("bench.5", path, true);
        logger->set_pattern("%H:%M:%S.%e - %v");
        logger->flush_on(spdlog::level::trace);
        for (auto _ : state)
            logger->info(message60);
        spdlog::drop("bench.5");
    }
    ::unlink(path);
}

// ---- 6: look-ups among 1,000 names -----------------------------------------------------

std::vector<std::string> names(const char* prefix)
{
    std::vector<std::string> result;
    for (int i = 0; i < registrySize; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%04d", prefix, i);
        result.emplace_back(name);
    }
    return result;
}

// Walks the names in a scattered order, the same for every look-up benchmark.
std::size_t nextIndex(std::size_t i)
{
    return (i + 389) % registrySize;
}

void ours6GetLogger(benchmark::State& state)
{
    const std::vector<std::string> loggerNames = names("bench6.");
    for (const std::string& name : loggerNames)
        Logger::getLogger(name.c_str());
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Logger::getLogger(loggerNames[i].c_str()));
        i = nextIndex(i);
    }
}

void peer6SpdlogGet(benchmark::State& state)
{
    const std::vector<std::string> loggerNames = names("bench6.");
    for (const std::string& name : loggerNames)
        spdlog::register_logger(spdlogWithNullSink(name));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(spdlog::get(loggerNames[i]));
        i = nextIndex(i);
    }
    for (const std::string& name : loggerNames)
        spdlog::drop(name);
}

void ours6Counter(benchmark::State& state)
{
    using Tev::Framework::Counting::Counter;
    const std::vector<std::string> counterNames = names("counter.");
    for (const std::string& name : counterNames)
        Counter::counter(name.c_str());
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(&Counter::counter(counterNames[i].c_str()));
        i = nextIndex(i);
    }
}

// The peer of the counters and the properties: a plain map, which takes no lock either.
void peer6Map(benchmark::State& state)
{
    const std::vector<std::string> keys = names("counter.");
    std::map<std::string, int> map;
    for (const std::string& key : keys)
        map.emplace(key, 0);
    std::size_t i = 0;
    for (auto _ : state) {
        const char* key = keys[i].c_str();
        benchmark::DoNotOptimize(map.find(key));
        i = nextIndex(i);
    }
}

class BenchObject : public MemoryManager::IRegisteredObject {};

MemoryManager::IRegisteredObject* makeBenchObject()
{
    return new BenchObject;
}

void ours6FindObject(benchmark::State& state)
{
    const std::vector<std::string> objectNames = names("object.");
    for (const std::string& name : objectNames)
        MemoryManager::registerObject(name.c_str(), &makeBenchObject);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MemoryManager::findObject(objectNames[i].c_str()));
        i = nextIndex(i);
    }
    for (const std::string& name : objectNames)
        MemoryManager::unregisterObject(name.c_str());
}

void peer6LockedMap(benchmark::State& state)
{
    const std::vector<std::string> keys = names("object.");
    std::map<std::string, MemoryManager::IRegisteredObject*> map;
    boost::mutex mutex;
    for (const std::string& key : keys)
        map.emplace(key, nullptr);
    std::size_t i = 0;
    for (auto _ : state) {
        const char* key = keys[i].c_str();
        boost::lock_guard<boost::mutex> lock(mutex);
        const auto found = map.find(key);
        benchmark::DoNotOptimize(found == map.end() ? nullptr : found->second);
        i = nextIndex(i);
    }
}

std::vector<std::wstring> wideNames()
{
    std::vector<std::wstring> result;
    for (const std::string& name : names("prop."))
        result.emplace_back(name.begin(), name.end());
    return result;
}

void ours6GetProperty(benchmark::State& state)
{
    const std::vector<std::wstring> keys = wideNames();
    Tev::Framework::Management::PropertyManager* properties = Tev::Framework::Framework::propertyManager();
    for (const std::wstring& key : keys)
        properties->setProperty(key, L"value");
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(&properties->getProperty(keys[i]));
        i = nextIndex(i);
    }
}

void peer6WideMap(benchmark::State& state)
{
    const std::vector<std::wstring> keys = wideNames();
    std::map<std::wstring, std::wstring> map;
    for (const std::wstring& key : keys)
        map.emplace(key, L"value");
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(&map.find(keys[i])->second);
        i = nextIndex(i);
    }
}

// ---- 7: installing a backend among many loggers ------------------------------------------

void ours7Install(benchmark::State& state)
{
    const auto loggerCount = static_cast<int>(state.range(0));
    Logger::closeAllLoggers();
    for (int i = 0; i < loggerCount; ++i)
        Logger::getLogger(("bench7.logger." + std::to_string(i)).c_str());
    NullBackend backend;
    for (auto _ : state) {
        Logger::installBackend(&backend);
        Logger::uninstallBackend(&backend);
    }
    Logger::closeAllLoggers();
}

} // namespace

void registerScenarios()
{
    using Function = void (*)(benchmark::State&);
    struct Entry {
        const char* name;
        Function function;
        int threads = 1;
        double minTime = 0.05;
    };
    // Each scenario's benchmarks run in turns (ours, peer, ours, peer...), so that both
    // sides meet the same state of the machine; the best turn of each side counts.
    const std::vector<std::vector<Entry>> scenarios{
        {{"ours/1_tev_log_below_threshold", ours1LevelOff}, {"peer/1_spdlog_debug_level_off", peer1LevelOff}},
        {{"ours/2_logstream_formatted", ours2Formatted}, {"peer/2_spdlog_info_formatted", peer2Formatted}},
        {{"ours/3_logstream_literal", ours3Literal}, {"peer/3_spdlog_info_literal", peer3Literal}},
        {{"ours/4_logstream_formatted_2_threads", ours2Formatted, 2},
         {"peer/4_spdlog_info_formatted_2_threads", peer2Formatted, 2}},
        {{"ours/5_crisis_log", ours5Crisis, 1, 0.02},
         {"peer/5_write_o_append", peer5Write, 1, 0.02},
         {"peer/5_spdlog_file_flush_each", peer5Spdlog, 1, 0.02}},
        {{"ours/6_get_logger", ours6GetLogger}, {"peer/6_spdlog_get", peer6SpdlogGet}},
        {{"ours/6_counter", ours6Counter}, {"peer/6_map_find", peer6Map}},
        {{"ours/6_find_object", ours6FindObject}, {"peer/6_locked_map_find", peer6LockedMap}},
        {{"ours/6_get_property", ours6GetProperty}, {"peer/6_wide_map_find", peer6WideMap}},
    };
    for (const std::vector<Entry>& scenario : scenarios)
        for (int turn = 0; turn < turns; ++turn)
            for (const Entry& entry : scenario) {
                auto* benchmark = benchmark::RegisterBenchmark(entry.name, entry.function)->MinTime(entry.minTime);
                if (entry.threads > 1)
                    benchmark->Threads(entry.threads)->UseRealTime();
            }
    // Last: it closes every logger.
    for (int turn = 0; turn < turns; ++turn)
        benchmark::RegisterBenchmark("ours/7_install_backend", ours7Install)->Arg(1000)->Arg(10000);
}

std::vector<Comparison> comparisons()
{
    return {
        {"1", "ours/1_tev_log_below_threshold", "peer/1_spdlog_debug_level_off", 1.0,
         "TEV_LOG below the threshold vs spdlog debug() with the level off"},
        {"2", "ours/2_logstream_formatted", "peer/2_spdlog_info_formatted", 1.0,
         "LogStream formatted vs spdlog info() into a locking null sink"},
        {"3", "ours/3_logstream_literal", "peer/3_spdlog_info_literal", 1.0,
         "LogStream literal vs spdlog info(\"literal\")"},
        {"4", "ours/4_logstream_formatted_2_threads", "peer/4_spdlog_info_formatted_2_threads", 1.0,
         "2 threads on one logger (time per message; throughput is its inverse)"},
        {"5a", "ours/5_crisis_log", "peer/5_write_o_append", 1.3, "CrisisLogger::log vs write(2) O_APPEND"},
        {"5b", "ours/5_crisis_log", "peer/5_spdlog_file_flush_each", 1.0,
         "CrisisLogger::log vs spdlog basic_file_sink, flush on every line"},
        {"6a", "ours/6_get_logger", "peer/6_spdlog_get", 1.5, "getLogger vs spdlog::get, 1,000 names"},
        {"6b", "ours/6_counter", "peer/6_map_find", 1.3, "Counter::counter vs std::map::find"},
        {"6c", "ours/6_find_object", "peer/6_locked_map_find", 1.3, "findObject vs std::map::find under a mutex"},
        {"6d", "ours/6_get_property", "peer/6_wide_map_find", 1.3, "getProperty vs std::map<wstring>::find"},
        {"7", "ours/7_install_backend/10000", "ours/7_install_backend/1000", 1.3,
         "installBackend time per logger, 10,000 loggers vs 1,000", 10000, 1000},
    };
}

MemoryFigures measureCacheMemory()
{
    constexpr int loggerCount = 10000;
    Logger::closeAllLoggers();
    // No backend: every message is cached.
    Logger::uninstallBackend(&nullBackend());
    malloc_trim(0);
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < loggerCount; ++i) {
        Logger* logger = Logger::getLogger(("bench8.logger." + std::to_string(i)).c_str());
        for (int m = 0; m < 102; ++m)
            LogStream(logger, LevelError) << message60;
    }
    const std::size_t after = mallinfo2().uordblks;
    Logger::closeAllLoggers();
    return MemoryFigures{static_cast<double>(after - before), static_cast<double>(loggerCount) * 101 * 60};
}

} // namespace TevBench
