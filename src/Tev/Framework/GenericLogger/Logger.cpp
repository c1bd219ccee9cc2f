#include "Tev/Framework/GenericLogger/Logger.h"

#include "Tev/Framework/GenericLogger/BackendLibraryError.h"
#include "Tev/Framework/GenericLogger/MessageCache.h"
#include "Tev/Framework/LibraryState.h"
#include "Tev/Platform/ProcessExit.h"
#include "Tev/Platform/Processor.h"
#include "Tev/Platform/SharedLibrary.h"

#include <boost/container/small_vector.hpp>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace Tev::Framework::GenericLogger {

namespace {

// How the exceptions thrown here name this file, and the lines they report.
constexpr char sourceFile[] = "Tev\\Framework\\GenericLogger\\Logger";
constexpr int nullBackendLine = 294;
constexpr int backendTwiceLine = 301;

// A logger rarely has more than two channels; those need no memory of their own.
using ChannelList = boost::container::small_vector<LoggingChannel*, 2>;

} // namespace

// What a logger keeps besides its threshold and enabled flag.
struct LoggerBody {
    explicit LoggerBody(std::string_view loggerName) : name(loggerName) {}

    ChannelList channels;
    // While getLogger creates the logger, its backends may ask for it by name.
    bool beingCreated = false;
    // Being closed: out of the look-ups, and passed over by refreshes.
    bool closed = false;
    bool handedOutWhileCreated = false;
    const std::string name;
    MessageCache cache;
};

// A logger's state, in one allocation with the logger itself. Standard-layout, so that
// the threshold, its first member, may be reached through a pointer to the state, as
// Logger::levelActive() does inline. The rest lies in storage of its own. Aligned so that
// what a refresh of the channels reads lies in two known cache lines: the channels and
// whether the logger is closed in the first, its name and whether its cache holds
// anything in the second.
struct alignas(64) LoggerState {
    explicit LoggerState(std::string_view loggerName) : self(this) { new (&bodyStorage) LoggerBody(loggerName); }
    ~LoggerState() { body().~LoggerBody(); }
    LoggerState(const LoggerState&) = delete;
    LoggerState& operator=(const LoggerState&) = delete;

    LoggerBody& body() noexcept { return *std::launder(reinterpret_cast<LoggerBody*>(&bodyStorage)); }
    const LoggerBody& body() const noexcept { return *std::launder(reinterpret_cast<const LoggerBody*>(&bodyStorage)); }

    std::atomic<std::int32_t> minLevel{LevelError};
    std::atomic<bool> enabled{true};
    // The logger that clients hold: it lives and dies with its state.
    Logger self;
    std::aligned_storage_t<sizeof(LoggerBody), alignof(LoggerBody)> bodyStorage;
};
static_assert(std::is_standard_layout_v<LoggerState> && offsetof(LoggerState, minLevel) == 0,
              "Logger::levelActive() reads the threshold at the state's address");
static_assert(offsetof(LoggerState, bodyStorage) + sizeof(ChannelList) + 3 * sizeof(bool) <= 64,
              "a refresh finds the channels and the flags in the state's first cache line");

// What closing the loggers leaves to do once the logging mutex is let go.
struct Logger::Closed {
    LibraryList libraries;
    std::exception_ptr firstFailure;
};

namespace {

// The installed backends as a rebuild of channels sees them: all but those that a close
// under way deletes. Refreshing every logger
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
            for (LoggerBackend* closing : installed.closing)
                backends_.erase(std::remove(backends_.begin(), backends_.end(), closing), backends_.end());
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

// Asks every installed backend, in installation order, for a channel for the logger,
// and adds each one offered to `channels`. The logger's own channels are not touched.
void collectChannels(const LoggerState& state, BackendSnapshot& snapshot, ChannelList& channels)
{
    const std::vector<LoggerBackend*>& backends = snapshot.current();
    channels.reserve(backends.size());
    for (LoggerBackend* backend : backends)
        if (LoggingChannel* channel = backend->createChannel(state.body().name.c_str()))
            channels.push_back(channel);
}

// Gives the logger one channel per installed backend that offers one. The previous
// channels are forgotten, not released; if a backend throws, the logger keeps them.
void rebuildChannels(LoggerState& state, BackendSnapshot& snapshot)
{
    ChannelList channels;
    collectChannels(state, snapshot, channels);
    state.body().channels.swap(channels);
}

// Hands every cached message to every channel, then empties the cache, even when there
// is no channel. If a channel throws, the cache keeps what it had.
void replayCache(LoggerState& state)
{
    // An overflowed cache holds its notice, so it is never empty.
    if (state.body().cache.empty())
        return;
    // Delivered from a cache of its own, so that a channel that logs to this logger
    // meanwhile neither disturbs the walk nor loses its message.
    MessageCache replayed;
    replayed.swap(state.body().cache);
    try {
        replayed.forEach([&state](LoggingLevel level, const char* text) {
            for (std::size_t i = 0; i < state.body().channels.size(); ++i)
                state.body().channels[i]->log(level, text);
        });
    } catch (...) {
        replayed.swap(state.body().cache);
        state.body().cache.addAll(replayed); // what was cached during the replay
        throw;
    }
}

// Calls release() on each channel; the first exception is kept in `firstFailure`.
void releaseChannels(const ChannelList& channels, std::exception_ptr& firstFailure) noexcept
{
    for (LoggingChannel* channel : channels) {
        try {
            channel->release();
        } catch (...) {
            if (!firstFailure)
                firstFailure = std::current_exception();
        }
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

// Unloads the libraries in load order. Called without the logging mutex: the system's
// loader has a lock of its own, and a library's static destructor or initialiser that
// logs holds it while it waits for the logging mutex.
void unload(LibraryList& libraries) noexcept
{
    for (auto& library : libraries)
        library.reset();
}

} // namespace

Logger::Logger(LoggerState* state) noexcept : state_(state)
{}

Logger::~Logger() = default;

void Logger::refreshAll(LoggerRegistry& registry)
{
    BackendSnapshot snapshot;
    // The loggers lie scattered in memory, in the order they were created, and are
    // refreshed in name order: fetch each state (a logger starts its state) a few
    // loggers ahead, so that it is there when its turn comes.
    constexpr std::size_t fetchAhead = 8;
    const std::vector<LoggerMap::Entry>& loggers = registry.loggers.inOrder();
    for (std::size_t i = 0; i < loggers.size(); ++i) {
        if (i + fetchAhead < loggers.size()) {
            Platform::prefetch(loggers[i + fetchAhead].logger);
            Platform::prefetch(reinterpret_cast<const char*>(loggers[i + fetchAhead].logger) + 64);
        }
        LoggerState& state = *loggers[i].logger->state_;
        if (state.body().closed)
            continue;
        const std::uint64_t version = registry.loggers.version();
        rebuildChannels(state, snapshot);
        replayCache(state);
        // A backend or a channel made or dropped a logger meanwhile: go on after this
        // one's name, as the order now stands.
        if (registry.loggers.version() != version)
            i = registry.loggers.after(state.body().name) - 1;
    }
}

Logger* Logger::getLogger(const char* name)
{
    if (name == nullptr)
        throw std::invalid_argument("Logger::getLogger: the logger name is null");
    LoggerRegistry& registry = loggerRegistry();
    LoggingLock lock(registry.mutex);
    const std::string_view key(name);
    Logger* const found = registry.loggers.find(key);
    if (found == nullptr)
        return create(registry, key);
    LoggerState& state = *found->state_;
    if (state.body().beingCreated)
        state.body().handedOutWhileCreated = true;
    return found;
}

Logger* Logger::create(LoggerRegistry& registry, std::string_view name)
{
    // Entered before the backends are asked for its channels, so that one that asks for
    // this very name meanwhile gets this logger, whose messages wait in its cache.
    auto owner = std::make_unique<LoggerState>(name);
    registry.loggers.insert(owner->body().name, &owner->self);
    LoggerState& state = *owner.release();
    state.body().beingCreated = true;

    ChannelList channels;
    try {
        BackendSnapshot snapshot;
        collectChannels(state, snapshot, channels);
        state.body().channels.swap(channels);
        replayCache(state);
    } catch (...) {
        state.body().beingCreated = false;
        // A logger that a backend has seen stays, as it is; any other never existed for
        // anybody, and gives back what it was handed.
        std::exception_ptr ignored;
        releaseChannels(channels, ignored);
        if (!state.body().handedOutWhileCreated) {
            releaseChannels(state.body().channels, ignored);
            registry.loggers.erase(name);
            delete &state;
        }
        throw;
    }
    state.body().beingCreated = false;
    return &state.self;
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
    if (!state.body().channels.empty() && !installedBackends().backends.empty() && level != LevelNone) {
        if (state.enabled.load(std::memory_order_relaxed)) {
            // By index: a channel may install a backend, which rebuilds this list.
            for (std::size_t i = 0; i < state.body().channels.size(); ++i)
                state.body().channels[i]->log(level, message);
        }
    } else {
        state.body().cache.add(level, message);
    }
}

void Logger::installBackend(LoggerBackend* backend)
{
    LoggerRegistry& registry = loggerRegistry();
    LoggingLock lock(registry.mutex);
    install(registry, backend);
}

void Logger::install(LoggerRegistry& registry, LoggerBackend* backend)
{
    if (backend == nullptr)
        throw LoggerBackendLoadError("Cannot install a NULL backend!", sourceFile, nullBackendLine);
    std::vector<LoggerBackend*>& installed = installedBackends().backends;
    if (std::find(installed.begin(), installed.end(), backend) != installed.end())
        throw LoggerBackendLoadError("Cannot install a backend twice!", sourceFile, backendTwiceLine);
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
    return loadAndCreate(name, false);
}

LoggerBackend* Logger::installBackend(const char* name)
{
    return loadAndCreate(name, true);
}

LoggerBackend* Logger::loadAndCreate(const char* name, bool andInstall)
{
    using CreateBackend = LoggerBackend* (*)();
    if (name == nullptr)
        throw std::invalid_argument("Logger: the backend name is null");
    // Loading takes the system loader's lock; a library that logs while it is loaded takes
    // the logging mutex under it. Loading with the mutex held, from inside a backend or a
    // channel, would take the two in the other order: a deadlock.
    if (libraryTearingDown())
        throw LoggerBackendLoadError("Cannot load a backend library while the framework is being unloaded", sourceFile,
                                     __LINE__);
    if (loggerRegistry().mutex.heldByThisThread())
        throw LoggerBackendLoadError("Cannot load a backend library from inside a logging call", sourceFile, __LINE__);

    // The library is loaded and its factory looked up without the logging mutex (see
    // unload()).
    const std::string fileName = std::string(name) + "_ru" + Platform::sharedLibrarySuffix();
    LibraryList libraries; // this load's holder, or holders to unload once the mutex is let go
    Gadgets::DLL::DLLLoadReport report;
    libraries.push_back(std::make_unique<Gadgets::DLL::DLLHolder>(fileName.c_str(), report));
    Gadgets::DLL::DLLHolder& library = *libraries.back();
    CreateBackend createBackend = nullptr;
    std::exception_ptr unresolved;
    try {
        createBackend = library.resolveFunction<CreateBackend>("createBackend", report);
    } catch (const std::runtime_error& error) {
        // The text stays what callers compare; the rest tells what was tried and why it failed.
        try {
            throw BackendLibraryError(error.what(), name, std::move(report.filesTried), std::move(report.reason));
        } catch (...) {
            unresolved = std::current_exception();
        }
    } catch (...) {
        unresolved = std::current_exception();
    }

    struct UnloadLater {
        LibraryList& libraries;
        ~UnloadLater() { unload(libraries); }
    } unloadLater{libraries};
    LoggerRegistry& registry = loggerRegistry();
    // Creating, recording and installing the backend is one hold of the mutex, so that
    // no other thread's closeAllLoggers() deletes the backend in between.
    LoggingLock lock(registry.mutex);
    registry.libraries.reserve(registry.libraries.size() + 1);
    registry.loadedBackends.reserve(registry.loadedBackends.size() + 1);

    // A failed load keeps a library only while no other holder keeps it loaded: what the
    // failed factory may have left behind still has its code, and repeated failures
    // cost nothing.
    const auto keepIfOnlyHolder = [&registry, &libraries] {
        const auto& held = registry.libraries;
        Gadgets::DLL::DLLHolder& loaded = *libraries.back();
        if (loaded.isLoaded() && std::none_of(held.begin(), held.end(),
                                              [&loaded](const auto& h) { return h->holdsSameLibraryAs(loaded); })) {
            registry.libraries.push_back(std::move(libraries.back()));
            libraries.pop_back();
        }
    };
    if (unresolved) {
        keepIfOnlyHolder();
        std::rethrow_exception(unresolved);
    }

    LoggerBackend* backend;
    try {
        backend = createBackend();
    } catch (...) {
        keepIfOnlyHolder();
        throw;
    }
    registry.libraries.push_back(std::move(libraries.back()));
    libraries.pop_back();
    registry.loadedBackends.push_back(backend);
    if (andInstall && backend != nullptr)
        install(registry, backend);
    return backend;
}

void Logger::closeAllLoggers()
{
    LoggerRegistry& registry = loggerRegistry();
    Closed closed;
    {
        // The library calls backends and channels only with the mutex held, and nothing
        // else with it held calls this.
        const bool insideALoggingCall = registry.mutex.heldByThisThread();
        LoggingLock lock(registry.mutex);
        if (!registry.unloadChannels.load(std::memory_order_relaxed))
            return;
        if (insideALoggingCall)
            throw LoggerException("Cannot close the loggers from inside a logging call", sourceFile, __LINE__);
        closed = closeAll(registry);
    }
    unload(closed.libraries);
    if (closed.firstFailure)
        std::rethrow_exception(closed.firstFailure);
}

Logger::Closed Logger::closeAll(LoggerRegistry& registry)
{
    // What exists now is closed. A logger, backend or library that a channel or a
    // backend adds meanwhile is left for the next close, so that a channel that logs
    // from release() cannot keep this going.
    std::vector<Logger*> loggers;
    loggers.reserve(registry.loggers.size());
    for (const LoggerMap::Entry& entry : registry.loggers.inOrder())
        loggers.push_back(entry.logger);
    Closed closed;
    closed.libraries.swap(registry.libraries);
    // The loaded backends are deleted once the loggers are closed. A logger made meanwhile
    // (a channel logs while it is released, a backend while it is deleted) takes no
    // channel from them: it outlives them.
    BackendList& installed = installedBackends();
    installed.closing.swap(registry.loadedBackends);
    ++installed.version;
    struct EndClosing {
        BackendList& installed;
        ~EndClosing()
        {
            std::vector<LoggerBackend*>().swap(installed.closing);
            ++installed.version;
        }
    } endClosing{installed};

    // Everything is closed even if a channel or a backend throws; the first exception
    // is passed on at the end.
    // A closed logger leaves the look-ups at once, so that a channel that asks for its
    // name meanwhile gets a new logger; it leaves the order, and its state goes, once
    // all are closed, so that the order has every name to compare with till then.
    for (Logger* logger : loggers) {
        LoggerState* state = logger->state_;
        registry.loggers.forget(state->body().name);
        state->body().closed = true;
        const ChannelList channels = std::move(state->body().channels);
        state->body().channels.clear();
        releaseChannels(channels, closed.firstFailure);
    }
    registry.loggers.dropForgotten();
    for (Logger* logger : loggers)
        delete logger->state_;
    for (LoggerBackend* backend : installed.closing) {
        removeInstalled(backend);
        try {
            delete backend;
        } catch (...) {
            if (!closed.firstFailure)
                closed.firstFailure = std::current_exception();
        }
    }
    return closed;
}

LoggerRegistry::LoggerRegistry() = default;

LoggerRegistry::~LoggerRegistry() = default;

void LoggerRegistry::teardown() noexcept
{
    // At the process's end on Windows, a thread stopped while it logged holds the mutex
    // for ever: what it was using stays as it is then.
    if (!unloadChannels.load(std::memory_order_relaxed) ||
        (Platform::processEndingWithThreadsStopped() && !mutex.heldByNobody())) {
        // Loggers, channels and backends stay as they are, and so does their code.
        for (auto& library : libraries)
            static_cast<void>(library.release());
        return;
    }
    // A channel that logs while it is released makes a logger of its own; with no
    // backend installed any more it has no channel, and the next round closes it.
    for (int round = 0; round < 3 && !(loggers.empty() && libraries.empty() && loadedBackends.empty()); ++round) {
        Logger::Closed closed;
        try {
            LoggingLock lock(mutex);
            closed = Logger::closeAll(*this);
        } catch (...) {
            // Nobody is left to tell.
        }
        unload(closed.libraries);
    }
}

} // namespace Tev::Framework::GenericLogger
