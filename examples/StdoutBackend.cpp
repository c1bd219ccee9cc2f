// The backend library "stdout": every logger gets a channel that prints its messages.
//
// The framework asks a backend for a channel for every logger whenever any backend is
// installed, and forgets the previous pointer without releasing it; it calls release()
// once, when the logger is closed. So the backend keeps one channel per logger name,
// hands that one out again, and frees them all when it is deleted (the framework deletes
// a backend it loaded after releasing every channel).

#include <Tev/Framework/GenericLogger/BackendLibrary.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

using Tev::Framework::GenericLogger::LoggerBackend;
using Tev::Framework::GenericLogger::LoggingChannel;
using Tev::Framework::GenericLogger::LoggingLevel;

class StdoutChannel : public LoggingChannel {
public:
    explicit StdoutChannel(const char* loggerName) : loggerName_(loggerName) {}

    void log(LoggingLevel level, const char* message) override
    {
        std::printf("  [stdout] %-14s level %2d: %s\n", loggerName_.c_str(), static_cast<int>(level), message);
    }

    // The channel stays with its backend, which may hand it out again.
    void release() override { std::printf("  [stdout] channel of %s released\n", loggerName_.c_str()); }

private:
    const std::string loggerName_;
};

class StdoutBackend : public LoggerBackend {
public:
    StdoutBackend() { std::printf("  [stdout] backend created\n"); }
    ~StdoutBackend() override { std::printf("  [stdout] backend deleted with its %zu channels\n", channels_.size()); }

    LoggingChannel* createChannel(const char* loggerName) override
    {
        std::unique_ptr<StdoutChannel>& channel = channels_[loggerName];
        if (!channel)
            channel = std::make_unique<StdoutChannel>(loggerName);
        return channel.get();
    }

private:
    std::map<std::string, std::unique_ptr<StdoutChannel>> channels_;
};

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return new StdoutBackend;
}
