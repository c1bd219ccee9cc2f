#ifndef TEV_TESTS_RECORDINGBACKEND_H
#define TEV_TESTS_RECORDINGBACKEND_H

// A backend and channel that record what the framework asks of them, for the tests.

#include "Tev/Framework/GenericLogger/Logger.h"

#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace TevTest {

using Tev::Framework::GenericLogger::LoggerBackend;
using Tev::Framework::GenericLogger::LoggingChannel;
using Tev::Framework::GenericLogger::LoggingLevel;

struct Message {
    LoggingLevel level;
    std::string text;

    bool operator==(const Message& other) const { return level == other.level && text == other.text; }
    friend std::ostream& operator<<(std::ostream& out, const Message& m)
    {
        return out << "{" << static_cast<int>(m.level) << ", \"" << m.text << "\"}";
    }
};

// One line per event ("log B1 name 50 text", "release B1 name"...), shared by any number
// of backends, so that the order of calls across backends can be checked.
class Journal {
public:
    void add(std::string event)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
    }
    std::vector<std::string> events() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

class RecordingBackend;

class RecordingChannel : public LoggingChannel {
public:
    RecordingChannel(RecordingBackend& backend, std::string loggerName)
        : backend_(backend), loggerName_(std::move(loggerName))
    {
    }
    ~RecordingChannel() override = default;

    void log(LoggingLevel level, const char* message) override;
    void release() override;

    const std::string& loggerName() const { return loggerName_; }
    std::vector<Message> messages() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> result;
        for (const Message& m : messages())
            result.push_back(m.text);
        return result;
    }
    int releases() const { return releases_; }

    // Runs inside log(), after the message is recorded: for re-entrancy and failures.
    std::function<void(LoggingLevel, const char*)> onLog;

private:
    RecordingBackend& backend_;
    const std::string loggerName_;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    int releases_ = 0;
};

class RecordingBackend : public LoggerBackend {
public:
    explicit RecordingBackend(std::string label = "B", Journal* journal = nullptr)
        : label_(std::move(label)), journal_(journal)
    {
    }

    RecordingChannel* createChannel(const char* loggerName) override
    {
        requests_.emplace_back(loggerName);
        note("channel " + std::string(loggerName));
        if (onCreateChannel)
            onCreateChannel(loggerName);
        if (offersChannel && !offersChannel(loggerName))
            return nullptr;
        channels_.push_back(std::make_unique<RecordingChannel>(*this, loggerName));
        if (onNewChannel)
            onNewChannel(*channels_.back());
        return channels_.back().get();
    }

    // Every name createChannel was asked for, in order.
    const std::vector<std::string>& requests() const { return requests_; }

    // The most recent channel handed out for `loggerName`, or null.
    RecordingChannel* channelFor(const std::string& loggerName) const
    {
        for (auto it = channels_.rbegin(); it != channels_.rend(); ++it)
            if ((*it)->loggerName() == loggerName)
                return it->get();
        return nullptr;
    }
    const std::vector<std::unique_ptr<RecordingChannel>>& channels() const { return channels_; }

    void note(const std::string& event)
    {
        if (journal_ != nullptr)
            journal_->add(label_ + " " + event);
    }

    // Whether to offer a channel for a name; all names when unset.
    std::function<bool(const char*)> offersChannel;
    // Runs inside createChannel(), before the channel is made.
    std::function<void(const char*)> onCreateChannel;
    // Runs inside createChannel(), on the channel it is about to hand out.
    std::function<void(RecordingChannel&)> onNewChannel;

private:
    const std::string label_;
    Journal* journal_;
    std::vector<std::string> requests_;
    std::vector<std::unique_ptr<RecordingChannel>> channels_;
};

inline void RecordingChannel::log(LoggingLevel level, const char* message)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(Message{level, message});
    }
    backend_.note("log " + loggerName_ + " " + std::to_string(static_cast<int>(level)) + " " + message);
    if (onLog)
        onLog(level, message);
}

inline void RecordingChannel::release()
{
    ++releases_;
    backend_.note("release " + loggerName_);
}

} // namespace TevTest

#endif
