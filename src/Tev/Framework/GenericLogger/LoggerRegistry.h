#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGERREGISTRY_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGERREGISTRY_H

#include "Tev/Framework/GenericLogger/LoggerBackend.h"
#include "Tev/Framework/GenericLogger/LoggingMutex.h"
#include "Tev/Framework/NameHash.h"
#include "Tev/Gadgets/DLL/DLLHolder.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Tev::Framework::GenericLogger {

class Logger;

using LibraryList = std::vector<std::unique_ptr<Gadgets::DLL::DLLHolder>>;

// The loggers by name: an array ordered by name, which refreshes walk from one end to
// the other, and a hash index beside it, so that a look-up does not pay an ordered
// search. Both keep views of the loggers' own names. A creation moves the entries
// after it along; loggers are created far less often than they are looked up or
// refreshed.
class LoggerMap {
public:
    struct Entry {
        std::string_view name;
        Logger* logger;
    };

    // The logger of that name, or null.
    Logger* find(std::string_view name) const noexcept
    {
        if (slots_.empty())
            return nullptr;
        const std::size_t hash = NameHash{}(name);
        for (std::size_t i = hash & mask();; i = (i + 1) & mask()) {
            const Slot& slot = slots_[i];
            if (slot.logger == nullptr)
                return nullptr;
            if (slot.hash == hash && slot.name == name)
                return slot.logger;
        }
    }

    // Enters a logger under a name that has none. `name` is the logger's own copy, which
    // outlives the entry. Throws std::bad_alloc, entering nothing.
    void insert(std::string_view name, Logger* logger)
    {
        // At most half full, so that a search soon meets an empty slot.
        if (2 * (count_ + 1) > slots_.size())
            grow();
        if (ordered_.size() == ordered_.capacity())
            ordered_.reserve(2 * ordered_.size() + 16);
        ordered_.insert(std::lower_bound(ordered_.begin(), ordered_.end(), name, nameBefore), Entry{name, logger});
        place(Slot{NameHash{}(name), name, logger});
        ++count_;
        ++version_;
    }

    // Takes the logger of that name out of both, if there is one.
    void erase(std::string_view name) noexcept
    {
        Logger* const logger = find(name);
        if (logger == nullptr)
            return;
        forget(name); // which counts as the change
        const auto at = std::lower_bound(ordered_.begin(), ordered_.end(), name, nameBefore);
        ordered_.erase(
            std::find_if(at, ordered_.end(), [logger](const Entry& entry) { return entry.logger == logger; }));
    }

    // Takes the logger of that name out of the look-ups only; dropForgotten() takes it
    // out of the order, while its name is still there to compare with.
    void forget(std::string_view name) noexcept
    {
        if (slots_.empty())
            return;
        const std::size_t hash = NameHash{}(name);
        std::size_t i = hash & mask();
        for (; slots_[i].logger != nullptr; i = (i + 1) & mask())
            if (slots_[i].hash == hash && slots_[i].name == name)
                break;
        if (slots_[i].logger == nullptr)
            return;
        // Backward shift: every entry after the hole that may move into it does, so that
        // no search stops at the hole short of its entry.
        for (std::size_t j = (i + 1) & mask(); slots_[j].logger != nullptr; j = (j + 1) & mask()) {
            const std::size_t home = slots_[j].hash & mask();
            const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
            if (!stays) {
                slots_[i] = slots_[j];
                i = j;
            }
        }
        slots_[i] = Slot{};
        --count_;
        ++version_;
    }

    // Drops from the order every entry that forget() took out of the look-ups.
    void dropForgotten() noexcept
    {
        ordered_.erase(std::remove_if(ordered_.begin(), ordered_.end(),
                                      [this](const Entry& entry) { return find(entry.name) != entry.logger; }),
                       ordered_.end());
        ++version_;
    }

    // The entries in name order, forgotten ones included until dropForgotten().
    const std::vector<Entry>& inOrder() const noexcept { return ordered_; }
    // Where the first name after `name` is, or would be.
    std::size_t after(std::string_view name) const noexcept
    {
        return static_cast<std::size_t>(
            std::upper_bound(ordered_.begin(), ordered_.end(), name,
                             [](std::string_view left, const Entry& right) { return left < right.name; }) -
            ordered_.begin());
    }
    // Changes whenever an entry comes or goes.
    std::uint64_t version() const noexcept { return version_; }

    std::size_t size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }

private:
    struct Slot {
        std::size_t hash = 0;
        std::string_view name;
        Logger* logger = nullptr; // null: empty
    };

    static bool nameBefore(const Entry& entry, std::string_view name) noexcept { return entry.name < name; }

    std::size_t mask() const noexcept { return slots_.size() - 1; }

    void place(const Slot& entry) noexcept
    {
        std::size_t i = entry.hash & mask();
        while (slots_[i].logger != nullptr)
            i = (i + 1) & mask();
        slots_[i] = entry;
    }

    // Doubles the table. Throws std::bad_alloc, leaving it as it was.
    void grow()
    {
        std::vector<Slot> old(slots_.empty() ? 16 : 2 * slots_.size());
        old.swap(slots_);
        for (const Slot& slot : old)
            if (slot.logger != nullptr)
                place(slot);
    }

    std::vector<Entry> ordered_;
    std::vector<Slot> slots_; // a power of two in size
    std::size_t count_ = 0;
    std::uint64_t version_ = 0;
};

// Every logger of the process, and the backends and libraries loaded by name.
// Guarded by `mutex`, the logging mutex, except `unloadChannels`. The mutex starts a
// cache line of its own, on purpose.
struct LoggerRegistry { // NOLINT(clang-analyzer-optin.performance.Padding)
    LoggerRegistry();
    // Frees the registry's own storage only; teardown() has done the rest.
    ~LoggerRegistry();

    LoggerRegistry(const LoggerRegistry&) = delete;
    LoggerRegistry& operator=(const LoggerRegistry&) = delete;

    // At unload, while the registry is still whole: closes all loggers (unless switched
    // off, when loggers, channels, backends and libraries are all left as they are).
    void teardown() noexcept;

    // Owns the loggers.
    LoggerMap loggers;
    LibraryList libraries;
    // What createBackend returned, null included; owned.
    std::vector<LoggerBackend*> loadedBackends;
    // Every message takes the mutex, and writes nothing else here: alone on its cache
    // lines; its word's moves between cores with it.
    alignas(64) LoggingMutex mutex;
    alignas(64) std::atomic<bool> unloadChannels{true};
};

// The installed backends, in installation order, each once; owns nothing.
// Guarded by the logging mutex.
struct BackendList {
    std::vector<LoggerBackend*> backends;
    // The loaded backends that a close under way deletes: they give no logger a channel,
    // so that none made meanwhile outlives them holding one.
    std::vector<LoggerBackend*> closing;
    // Changes with every change of `backends` or `closing`.
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
