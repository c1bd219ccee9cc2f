#ifndef TEV_TESTS_RECORDING_H
#define TEV_TESTS_RECORDING_H

// What the logging tests share: a backend whose channels write every call into one
// journal, a way to run code on several threads at once, the logger's own delivery,
// which a LogStream never calls at level 0, and backend settings set for a while.

#include "Tev/Framework/Framework.h"
#include "Tev/Framework/GenericLogger/Logger.h"

#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace TevTest {

using namespace Tev::Framework::GenericLogger;

// Whether a sanitizer slows this build down: long loops are then cut short.
#if defined(__has_feature)
inline constexpr bool sanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
inline constexpr bool sanitized = false;
#endif

// Events in the order they happened: "B create name", "B#2 log name 40 text",
// "B#2 release name" (#2: the backend's second channel).
class Journal {
public:
    void add(std::string event)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
    }
    // The events since the last take().
    std::vector<std::string> take()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(events_, {});
    }
    // How many backends the test plugin made for this journal: it labels them P1, P2...
    int pluginBackends = 0;

private:
    std::mutex mutex_;
    std::vector<std::string> events_;
};

// Journals every call; the on... hooks run after the call is journaled.
class RecordingBackend : public LoggerBackend {
public:
    class Channel : public LoggingChannel {
    public:
        Channel(RecordingBackend& backend, std::string logger)
            : backend_(backend), id_(backend.label + "#" + std::to_string(++backend.channelsMade)),
              logger_(std::move(logger))
        {}
        void log(LoggingLevel level, const char* message) override
        {
            backend_.journal_.add(id_ + " log " + logger_ + " " + std::to_string(level) + " " + message);
            if (backend_.onLog)
                backend_.onLog(logger_, level);
        }
        void release() override
        {
            backend_.journal_.add(id_ + " release " + logger_);
            if (backend_.onRelease)
                backend_.onRelease(logger_);
        }

    private:
        RecordingBackend& backend_;
        const std::string id_, logger_;
    };

    RecordingBackend(std::string name, Journal& journal) : label(std::move(name)), journal_(journal) {}
    ~RecordingBackend() override
    {
        if (onDestroy)
            onDestroy();
    }

    LoggingChannel* createChannel(const char* loggerName) override
    {
        journal_.add(label + " create " + loggerName);
        if (onCreate)
            onCreate(loggerName);
        if (offers && !offers(loggerName))
            return nullptr;
        channels_.push_back(std::make_unique<Channel>(*this, loggerName));
        return channels_.back().get();
    }

    const std::string label;
    std::function<bool(const std::string&)> offers; // every name when unset
    std::function<void(const std::string&)> onCreate;
    std::function<void(const std::string&, LoggingLevel)> onLog;
    std::function<void(const std::string&)> onRelease;
    std::function<void()> onDestroy;
    int channelsMade = 0;

protected:
    Journal& journal_;

private:
    std::vector<std::unique_ptr<Channel>> channels_;
};

// Runs body(0) ... body(count - 1) on threads of their own, all started before any is joined.
inline void onThreads(int count, const std::function<void(int)>& body)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back(body, i);
    for (std::thread& thread : threads)
        thread.join();
}

// The logger's own delivery, for the messages a stream never sends (level 0, null).
void doLog(Logger* logger, LoggingLevel level, const char* message);

// Sets Tev.Backend.<backend>.<name> for each "name=value" in `settings` (split at ';')
// until the returned guard goes.
inline std::shared_ptr<void> set(const std::string& backend, const std::string& settings)
{
    auto* store = Tev::Framework::Framework::propertyManager();
    std::vector<std::wstring> names;
    std::istringstream each(settings);
    for (std::string setting; std::getline(each, setting, ';');) {
        const std::string name = "Tev.Backend." + backend + "." + setting.substr(0, setting.find('=')),
                          value = setting.substr(setting.find('=') + 1);
        store->setProperty(names.emplace_back(name.begin(), name.end()), {value.begin(), value.end()});
    }
    return {nullptr, [=](void*) {
                for (const std::wstring& name : names)
                    store->clearProperty(name);
            }};
}

// Closes every logger and uninstalls `backends`: the state every test starts from.
inline void resetLogging(const std::vector<LoggerBackend*>& backends = {})
{
    Logger::unloadLoggingChannels(true);
    Logger::closeAllLoggers();
    for (LoggerBackend* backend : backends)
        Logger::uninstallBackend(backend);
}

} // namespace TevTest

#endif
