// A working backend library. Everything the framework does with it is written to a
// journal that the test attaches through attachJournal(); the journal outlives the
// library, so that the library's own unload is recorded too.

#include "Tev/Framework/GenericLogger/BackendLibrary.h"

#include <string>
#include <vector>

using Tev::Framework::GenericLogger::LoggerBackend;
using Tev::Framework::GenericLogger::LoggingChannel;
using Tev::Framework::GenericLogger::LoggingLevel;

namespace {

std::vector<std::string>* journal = nullptr;
int backendsCreated = 0;

void note(const std::string& event)
{
    if (journal != nullptr)
        journal->push_back(event);
}

struct UnloadNotice {
    ~UnloadNotice() { note("library unloaded"); }
} unloadNotice;

class PluginChannel : public LoggingChannel {
public:
    PluginChannel(std::string backend, std::string logger) : backend_(std::move(backend)), logger_(std::move(logger)) {}

    void log(LoggingLevel level, const char* message) override
    {
        note(backend_ + " log " + logger_ + " " + std::to_string(static_cast<int>(level)) + " " + message);
    }

    void release() override
    {
        note(backend_ + " release " + logger_);
        delete this;
    }

private:
    const std::string backend_;
    const std::string logger_;
};

class PluginBackend : public LoggerBackend {
public:
    PluginBackend() : label_("P" + std::to_string(++backendsCreated)) { note(label_ + " created"); }
    ~PluginBackend() override { note(label_ + " deleted"); }

    LoggingChannel* createChannel(const char* loggerName) override
    {
        note(label_ + " channel " + loggerName);
        return new PluginChannel(label_, loggerName);
    }

private:
    const std::string label_;
};

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return new PluginBackend;
}

TEV_BACKEND_LIBRARY_EXPORT void attachJournal(std::vector<std::string>* events)
{
    journal = events;
}
