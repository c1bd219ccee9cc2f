// The backend libraries of the tests, one kind per build of this file:
//   recording  a backend per createBackend call, reporting to the journal that the
//              test attaches, and reporting its own deletion and the library's unload
//   null       createBackend returns null
//   nofactory  no createBackend at all
//   throwing   createBackend throws
//   static     not a backend: logs from its static initialiser and destructor
#include "Recording.h"

#include "Tev/Framework/GenericLogger/BackendLibrary.h"

#include <stdexcept>

using namespace TevTest;

namespace {

// Never destroyed: when the process ends, the framework may release this library's
// channels after the library's own static objects are gone.
Journal& unattached = *new Journal;
Journal* journal = &unattached;

#if defined(TEV_PLUGIN_recording)
int made = 0;

struct UnloadNotice {
    ~UnloadNotice() { journal->add("library unloaded"); }
} unloadNotice;

class PluginBackend : public RecordingBackend {
public:
    explicit PluginBackend(const std::string& label) : RecordingBackend(label, *journal), label_(label) {}
    ~PluginBackend() override { journal->add(label_ + " deleted"); }

private:
    const std::string label_;
};
#elif defined(TEV_PLUGIN_static)
struct LogsWhileLoadedAndUnloaded {
    LogsWhileLoadedAndUnloaded() { LogStream(Logger::getLogger("static.library"), LevelError) << "loaded"; }
    ~LogsWhileLoadedAndUnloaded() { LogStream(Logger::getLogger("static.library"), LevelError) << "unloaded"; }
} logsWhileLoadedAndUnloaded;
#endif

} // namespace

TEV_BACKEND_LIBRARY_EXPORT void attachJournal(Journal* events)
{
    journal = events != nullptr ? events : &unattached;
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
