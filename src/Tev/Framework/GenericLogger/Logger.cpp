#include "Tev/Framework/GenericLogger/Logger.h"

#include "Tev/Framework/GenericLogger/MessageCache.h"
#include "Tev/Framework/LibraryState.h"
#include "Tev/Platform/SharedLibrary.h"

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

struct LoggerState {
    explicit LoggerState(std::string_view loggerName) : name(loggerName) {}

    std::vector<LoggingChannel*> channels;
    const std::string name;
    MessageCache cache;
    std::atomic<std::int32_t> minLevel{LevelError};
    std::atomic<bool> enabled{true};
};

namespace {

// Gives the logger one channel per installed backend that offers one, in installation
// order. The previous channels are forgotten, not released.
void rebuildChannels(LoggerState& state)
{
    const std::vector<LoggerBackend*> backends = installedBackends().backends;
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
    if (state.cache.empty() && !state.cache.overflowed())
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
    if (found != installed.end())
        installed.erase(found);
}

} // namespace

Logger::Logger(LoggerState* state) noexcept : state_(state) {}

Logger::~Logger()
{
    delete state_;
}

void Logger::refreshAll(LoggerRegistry& registry)
{
    InUse inUse(registry);
    for (auto& entry : registry.loggers) {
        rebuildChannels(*entry.second->state_);
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
    Logger* logger = new Logger(state.get());
    state.release();
    try {
        rebuildChannels(*logger->state_);
        replayCache(*logger->state_);
        registry.loggers.emplace(std::string(key), logger);
    } catch (...) {
        // The logger never existed for anybody; give back what it was handed.
        for (LoggingChannel* channel : logger->state_->channels) {
            try {
                channel->release();
            } catch (...) {
            }
        }
        delete logger;
        throw;
    }
    return logger;
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
        const std::vector<LoggingChannel*> channels = std::move(logger->state_->channels);
        for (LoggingChannel* channel : channels)
            attempt([channel] { channel->release(); });
        delete logger;
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
