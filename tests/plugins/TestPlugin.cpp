// The backend libraries of the tests, one kind per build of this file:
//   recording  a backend per createBackend call, reporting to the journal that the
//              test attaches, and reporting its own deletion and the library's unload
//   null       createBackend returns null
//   nofactory  no createBackend at all
//   throwing   createBackend throws
//   static     not a backend: asks for a logger from its static initialiser and destructor
#include "Recording.h"

#include "Tev/Framework/GenericLogger/BackendLibrary.h"

#include <stdexcept>

using namespace TevTest;

namespace {

Journal* journal = nullptr; // the test's, once attached

#if defined(TEV_PLUGIN_recording)
int made = 0;

struct UnloadNotice {
    ~UnloadNotice()
    {
        if (journal != nullptr)
            journal->add("library unloaded");
    }
} unloadNotice;

// Reports to the test's journal, or to one of its own: when the process ends, the
// framework may release its channels after this library's static objects are gone.
class PluginBackend : public RecordingBackend {
public:
    explicit PluginBackend(const std::string& label)
        : RecordingBackend(label, journal != nullptr ? *journal : own_), label_(label)
    {}
    ~PluginBackend() override
    {
        if (journal != nullptr)
            journal->add(label_ + " deleted");
    }

private:
    Journal own_;
    const std::string label_;
};
#elif defined(TEV_PLUGIN_static)
// Takes the logging mutex while the system's loader holds its own lock. It logs through
// no logger: another thread of the test closes all loggers at any moment.
struct LogsWhileLoadedAndUnloaded {
    LogsWhileLoadedAndUnloaded() { Logger::getLogger("static.library"); }
    ~LogsWhileLoadedAndUnloaded() { Logger::getLogger("static.library"); }
} logsWhileLoadedAndUnloaded;
#endif

} // namespace

TEV_BACKEND_LIBRARY_EXPORT void attachJournal(Journal* events)
{
    journal = events;
}

#if defined(TEV_PLUGIN_recording)
TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return new PluginBackend("P" + std::to_string(++made));
}
#elif defined(TEV_PLUGIN_null)
TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return nullptr;
}
#elif defined(TEV_PLUGIN_throwing)
TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    throw std::runtime_error("no backend today");
}
#endif
