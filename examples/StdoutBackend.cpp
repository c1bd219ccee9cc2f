// The backend library "stdout": every logger gets a channel that prints its messages.

#include <Tev/Framework/GenericLogger/BackendLibrary.h>

#include <cstdio>
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

    void release() override
    {
        std::printf("  [stdout] channel of %s released\n", loggerName_.c_str());
        delete this;
    }

private:
    const std::string loggerName_;
};

class StdoutBackend : public LoggerBackend {
public:
    StdoutBackend() { std::printf("  [stdout] backend created\n"); }
    ~StdoutBackend() override { std::printf("  [stdout] backend deleted\n"); }

    LoggingChannel* createChannel(const char* loggerName) override { return new StdoutChannel(loggerName); }
};

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return new StdoutBackend;
}
