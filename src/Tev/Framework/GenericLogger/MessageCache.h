#ifndef TEV_FRAMEWORK_GENERICLOGGER_MESSAGECACHE_H
#define TEV_FRAMEWORK_GENERICLOGGER_MESSAGECACHE_H

#include "Tev/Framework/GenericLogger/LoggingLevel.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace Tev::Framework::GenericLogger {

// The messages a logger keeps while it cannot deliver: at most 101, oldest first,
// then the overflow notice, after which it takes nothing until it is emptied.
// The texts share one block of memory, each followed by its NUL.
class MessageCache {
public:
    static constexpr std::size_t capacity = 101;
    static constexpr LoggingLevel overflowLevel = LevelWarning;
    static constexpr const char* overflowNotice = "LOG Cache overflow...";

    // Keeps a copy of `text`, or drops it once the cache is full (see above).
    // Throws std::bad_alloc, leaving the cache as it was.
    void add(LoggingLevel level, const char* text)
    {
        if (overflowed_)
            return;
        if (entries_.size() < capacity) {
            append(level, text);
        } else {
            append(overflowLevel, overflowNotice);
            overflowed_ = true;
        }
    }

    // Calls `visit(level, text)` for each message, oldest first.
    template <typename Visit>
    void forEach(Visit&& visit) const
    {
        for (const Entry& entry : entries_)
            visit(entry.level, texts_.data() + entry.offset);
    }

    // Adds the messages of `other` after these, as add() would.
    void addAll(const MessageCache& other)
    {
        other.forEach([this](LoggingLevel level, const char* text) { add(level, text); });
    }

    std::size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }

    void swap(MessageCache& other) noexcept
    {
        entries_.swap(other.entries_);
        texts_.swap(other.texts_);
        std::swap(overflowed_, other.overflowed_);
    }

private:
    struct Entry {
        LoggingLevel level;
        std::size_t offset;
    };

    void append(LoggingLevel level, const char* text)
    {
        entries_.push_back(Entry{level, texts_.size()});
        try {
            texts_.append(text, std::strlen(text) + 1);
        } catch (...) {
            entries_.pop_back();
            throw;
        }
    }

    std::vector<Entry> entries_;
    std::string texts_;
    bool overflowed_ = false;
};

} // namespace Tev::Framework::GenericLogger

#endif
