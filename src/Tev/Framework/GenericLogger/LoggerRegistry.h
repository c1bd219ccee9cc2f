#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGERREGISTRY_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGERREGISTRY_H

#include "Tev/Framework/GenericLogger/LoggerBackend.h"
#include "Tev/Framework/GenericLogger/LoggingMutex.h"
#include "Tev/Gadgets/DLL/DLLHolder.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Tev::Framework::GenericLogger {

class Logger;

using LibraryList = std::vector<std::unique_ptr<Gadgets::DLL::DLLHolder>>;

// Every logger of the process, and the backends and libraries loaded by name.
// Guarded by `mutex`, the logging mutex, except `unloadChannels`.
struct LoggerRegistry {
    LoggerRegistry();
    // Frees the registry's own storage only; teardown() has done the rest.
    ~LoggerRegistry();

    LoggerRegistry(const LoggerRegistry&) = delete;
    LoggerRegistry& operator=(const LoggerRegistry&) = delete;

    // At unload, while the registry is still whole: closes all loggers (unless switched
    // off, when loggers, channels, backends and libraries are all left as they are).
    void teardown() noexcept;

    // Owns the loggers. std::less<> lets a name be looked up without a copy.
    std::map<std::string, Logger*, std::less<>> loggers;
    LibraryList libraries;
    // What createBackend returned, null included; owned.
    std::vector<LoggerBackend*> loadedBackends;
    // Every message takes the mutex; the counter shares its cache line, so that a
    // message costs one line moving between cores, not two.
    alignas(64) LoggingMutex mutex;
    // Operations under way that walk loggers, channels or loaded backends.
    int operationsInProgress = 0;
    std::atomic<bool> unloadChannels{true};
};

// The installed backends, in installation order, each once; owns nothing.
// Guarded by the logging mutex.
struct BackendList {
    std::vector<LoggerBackend*> backends;
    // Changes with every change of `backends`.
    std::uint64_t version = 0;

    // Forgets every backend and frees the storage, without notice.
    void clearAndRelease() noexcept
    {
        std::vector<LoggerBackend*>().swap(backends);
        ++version;
    }
};

} // namespace Tev::Framework::GenericLogger

#endif
