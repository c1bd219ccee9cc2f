#include "Tev/Framework/GenericLogger/Logger.h"

#include "Tev/Framework/GenericLogger/MessageCache.h"
#include "Tev/Framework/LibraryState.h"
#include "Tev/Platform/SharedLibrary.h"

#include <boost/container/small_vector.hpp>

#include <algorithm>
#include <atomic>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Tev::Framework::GenericLogger {

thread_local unsigned loggingMutexDepth __attribute__((tls_model("initial-exec"))) = 0;

namespace {

// How the exceptions thrown here name this file.
constexpr char sourceFile[] = "Tev\\Framework\\GenericLogger\\Logger";

// Counts the operations under way that walk loggers, channels or loaded backends, so
// that closing all loggers from inside one of them is refused instead of pulling the
// ground from under it. Only touched with the logging mutex held.
class InUse {
public:
    explicit InUse(LoggerRegistry& registry) noexcept : registry_(registry) { ++registry_.operationsInProgress; }
    ~InUse() { --registry_.operationsInProgress; }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;

private:
    LoggerRegistry& registry_;
};

} // namespace

// Aligned so that what a refresh of the channels reads (the logger, its channels, its
// name and whether its cache holds anything) lies in two known cache lines.
struct alignas(64) LoggerState {
    explicit LoggerState(std::string_view loggerName) : self(this), name(loggerName) {}

    // The logger that clients hold: it lives and dies with its state, in one allocation.
    Logger self;
    // A logger rarely has more than two channels; those need no memory of their own.
    boost::container::small_vector<LoggingChannel*, 2> channels;
    const std::string name;
    MessageCache cache;
    std::atomic<std::int32_t> minLevel{LevelError};
    std::atomic<bool> enabled{true};
};

namespace {

// The installed backends as a rebuild of channels sees them. Refreshing every logger
// takes one copy, and takes it again only if the list has changed meanwhile (a backend
// or a channel may install or uninstall another), so that each logger still sees the
// list as it stands when its turn comes.
class BackendSnapshot {
public:
    const std::vector<LoggerBackend*>& current()
    {
        const BackendList& installed = installedBackends();
        if (!taken_ || version_ != installed.version) {
            backends_ = installed.backends;
            version_ = installed.version;
            taken_ = true;
        }
        return backends_;
    }

private:
    std::vector<LoggerBackend*> backends_;
    std::uint64_t version_ = 0;
    bool taken_ = false;
};

// Gives the logger one channel per installed backend that offers one, in installation
// order. The previous channels are forgotten, not released.
void rebuildChannels(LoggerState& state, BackendSnapshot& snapshot)
{
    const std::vector<LoggerBackend*>& backends = snapshot.current();
    state.channels.clear();
    state.channels.reserve(backends.size());
    for (LoggerBackend* backend : backends)
        if (LoggingChannel* channel = backend->createChannel(state.name.c_str()))
            state.channels.push_back(channel);
}

// Hands every cached message to every channel, then empties the cache, even when there
// is no channel. If a channel throws, the cache keeps what it had.
void replayCache(LoggerState& state)
{
    // An overflowed cache holds its notice, so it is never empty.
    if (state.cache.empty())
        return;
    // Delivered from a cache of its own, so that a channel that logs to this logger
    // meanwhile neither disturbs the walk nor loses its message.
    MessageCache replayed;
    replayed.swap(state.cache);
    try {
        replayed.forEach([&state](LoggingLevel level, const char* text) {
            for (std::size_t i = 0; i < state.channels.size(); ++i)
                state.channels[i]->log(level, text);
        });
    } catch (...) {
        replayed.swap(state.cache);
        state.cache.addAll(replayed); // what was cached during the replay
        throw;
    }
}

void removeInstalled(LoggerBackend* backend) noexcept
{
    std::vector<LoggerBackend*>& installed = installedBackends().backends;
    const auto found = std::find(installed.begin(), installed.end(), backend);
    if (found != installed.end()) {
        installed.erase(found);
        ++installedBackends().version;
    }
}

} // namespace

Logger::Logger(LoggerState* state) noexcept : state_(state) {}

Logger::~Logger() = default;

void Logger::refreshAll(LoggerRegistry& registry)
{
    InUse inUse(registry);
    BackendSnapshot snapshot;
    // The loggers lie scattered in memory, in the order they were created, and are
    // refreshed in name order: fetch each state (a logger starts its state) a few
    // loggers ahead, so that it is there when its turn comes.
    const auto end = registry.loggers.end();
    auto ahead = registry.loggers.begin();
    for (int i = 0; i < 4 && ahead != end; ++i)
        ++ahead;
    for (auto& entry : registry.loggers) {
        if (ahead != end) {
            __builtin_prefetch(ahead->second);
            __builtin_prefetch(reinterpret_cast<const char*>(ahead->second) + 64);
            ++ahead;
        }
        rebuildChannels(*entry.second->state_, snapshot);
        replayCache(*entry.second->state_);
    }
}

Logger* Logger::getLogger(const char* name)
{
    if (name == nullptr)
        throw std::invalid_argument("Logger::getLogger: the logger name is null");
    LoggerRegistry& registry = loggerRegistry();
    LoggingLock lock(registry.mutex);
    const std::string_view key(name);
    const auto found = registry.loggers.find(key);
    if (found != registry.loggers.end())
        return found->second;

    InUse inUse(registry);
    auto state = std::make_unique<LoggerState>(key);
    try {
        BackendSnapshot snapshot;
        rebuildChannels(*state, snapshot);
        replayCache(*state);
        registry.loggers.emplace(std::string(key), &state->self);
    } catch (...) {
        // The logger never existed for anybody; give back what it was handed.
        for (LoggingChannel* channel : state->channels) {
            try {
                channel->release();
            } catch (...) {
            }
        }
        throw;
    }
    return &state.release()->self;
}

void Logger::minLogLevel(LoggingLevel level)
{
    state_->minLevel.store(level, std::memory_order_relaxed);
}

bool Logger::isLevelActive(LoggingLevel level)
{
    return level >= state_->minLevel.load(std::memory_order_relaxed);
}

void Logger::enableLogging(bool enable)
{
    state_->enabled.store(enable, std::memory_order_relaxed);
}

void Logger::unloadLoggingChannels(bool unload)
{
    loggerRegistry().unloadChannels.store(unload, std::memory_order_relaxed);
}

void Logger::do_log(LoggingLevel level, const char* message)
{
    if (message == nullptr)
        return;
    LoggerRegistry& registry = loggerRegistry();
    LoggingLock lock(registry.mutex);
    LoggerState& state = *state_;
    if (!state.channels.empty() && !installedBackends().backends.empty() && level != LevelNone) {
        if (state.enabled.load(std::memory_order_relaxed)) {
            InUse inUse(registry);
            // By index: a channel may install a backend, which rebuilds this list.
            for (std::size_t i = 0; i < state.channels.size(); ++i)
                state.channels[i]->log(level, message);
        }
    } else {
        state.cache.add(level, message);
    }
}

void Logger::installBackend(LoggerBackend* backend)
{
    LoggerRegistry& registry = loggerRegistry();
    LoggingLock lock(registry.mutex);
    if (backend == nullptr)
        throw LoggerBackendLoadError("Cannot install a NULL backend!", sourceFile, 294);
    std::vector<LoggerBackend*>& installed = installedBackends().backends;
    if (std::find(installed.begin(), installed.end(), backend) != installed.end())
        throw LoggerBackendLoadError("Cannot install a backend twice!", sourceFile, 301);
    installed.push_back(backend);
    ++installedBackends().version;
    refreshAll(registry);
}

void Logger::uninstallBackend(LoggerBackend* backend)
{
    LoggingLock lock(loggerRegistry().mutex);
    removeInstalled(backend);
}

LoggerBackend* Logger::loadBackend(const char* name)
{
    if (name == nullptr)
        throw std::invalid_argument("Logger::loadBackend: the backend name is null");
    using CreateBackend = LoggerBackend* (*)();

    LoggerRegistry& registry = loggerRegistry();
    LoggingLock lock(registry.mutex);
    const std::string fileName = std::string(name) + "_ru" + Platform::sharedLibrarySuffix();
    registry.libraries.push_back(std::make_unique<Gadgets::DLL::DLLHolder>(fileName.c_str()));
    const auto createBackend =
        registry.libraries.back()->resolveFunction<CreateBackend>("createBackend");
    registry.loadedBackends.reserve(registry.loadedBackends.size() + 1);
    InUse inUse(registry);
    LoggerBackend* backend = createBackend();
    registry.loadedBackends.push_back(backend);
    return backend;
}

LoggerBackend* Logger::installBackend(const char* name)
{
    LoggerBackend* backend = loadBackend(name);
    if (backend != nullptr)
        installBackend(backend);
    return backend;
}

void Logger::closeAllLoggers()
{
    LoggerRegistry& registry = loggerRegistry();
    LoggingLock lock(registry.mutex);
    if (!registry.unloadChannels.load(std::memory_order_relaxed))
        return;
    if (registry.operationsInProgress != 0)
        throw LoggerException("Cannot close the loggers from inside a logging call", sourceFile, __LINE__);
    closeAll(registry);
}

void Logger::closeAll(LoggerRegistry& registry)
{
    InUse inUse(registry);
    // Everything is closed even if a channel or a backend throws; the first exception
    // is passed on at the end.
    std::exception_ptr firstFailure;
    const auto attempt = [&firstFailure](auto&& step) {
        try {
            step();
        } catch (...) {
            if (!firstFailure)
                firstFailure = std::current_exception();
        }
    };

    while (!registry.loggers.empty()) {
        const auto first = registry.loggers.begin();
        Logger* logger = first->second;
        registry.loggers.erase(first);
        const auto channels = std::move(logger->state_->channels);
        for (LoggingChannel* channel : channels)
            attempt([channel] { channel->release(); });
        delete logger->state_;
    }

    std::vector<LoggerBackend*> backends;
    backends.swap(registry.loadedBackends);
    for (LoggerBackend* backend : backends) {
        removeInstalled(backend);
        attempt([backend] { delete backend; });
    }

    std::vector<std::unique_ptr<Gadgets::DLL::DLLHolder>> libraries;
    libraries.swap(registry.libraries);
    for (auto& library : libraries)
        library.reset();

    if (firstFailure)
        std::rethrow_exception(firstFailure);
}

LoggerRegistry::LoggerRegistry() = default;

LoggerRegistry::~LoggerRegistry()
{
    LoggingLock lock(mutex);
    if (unloadChannels.load(std::memory_order_relaxed)) {
        try {
            Logger::closeAll(*this);
        } catch (...) {
            // Nobody is left to tell.
        }
    }
}

} // namespace Tev::Framework::GenericLogger
