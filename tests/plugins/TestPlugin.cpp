// The backend libraries of the tests, one kind per build of this file:
//   recording  a backend per createBackend call, labelled P1, P2..., journaling to the
//              journal whose address the property TevTest.Journal holds (or to one of its
//              own), and journaling its own deletion and the library's unload
//   null       createBackend returns null
//   nofactory  no createBackend at all
//   throwing   createBackend throws
//   static     not a backend: asks for a logger from its static initialiser and destructor
//   dependent  createBackend returns null, from a library of its own (built as dependency)
#include "Recording.h"

#include "Tev/Framework/Framework.h"
#include "Tev/Framework/GenericLogger/BackendLibrary.h"

#include <atomic>
#include <cstdint>
#include <stdexcept>

using namespace TevTest;

namespace {

#if defined(TEV_PLUGIN_recording)
// The test's, if it left one. Atomic: a thread may unload one instance of this library
// while another loads the next at the same address, in an order that the sanitizer
// cannot see through the system's loader.
std::atomic<Journal*> journal{nullptr};

struct UnloadNotice {
    ~UnloadNotice()
    {
        if (Journal* events = journal.load())
            events->add("library unloaded");
    }
} unloadNotice;

// Without a journal of the test's it keeps one of its own: when the process ends, the
// framework may delete it after this library's static objects are gone.
class PluginBackend : public RecordingBackend {
public:
    explicit PluginBackend(Journal* events)
        : RecordingBackend(events != nullptr ? "P" + std::to_string(++events->pluginBackends) : "P",
                           events != nullptr ? *events : own_)
    {}
    ~PluginBackend() override { journal_.add(label + " deleted"); }

private:
    Journal own_;
};
#elif defined(TEV_PLUGIN_static)
// Takes the logging mutex while the system's loader holds its own lock.
struct LogsWhileLoadedAndUnloaded {
    LogsWhileLoadedAndUnloaded() { Logger::getLogger("static.library"); }
    ~LogsWhileLoadedAndUnloaded() { Logger::getLogger("static.library"); }
} logsWhileLoadedAndUnloaded;
#endif

} // namespace

#if defined(TEV_PLUGIN_recording)
TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    auto* properties = Tev::Framework::Framework::propertyManager();
    journal = properties->hasProperty(L"TevTest.Journal")
                  ? reinterpret_cast<Journal*>(
                        static_cast<std::uintptr_t>(std::stoull(properties->getProperty(L"TevTest.Journal"))))
                  : nullptr;
    return new PluginBackend(journal.load());
}
#elif defined(TEV_PLUGIN_null)
TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return nullptr;
}
#elif defined(TEV_PLUGIN_dependency)
TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* noBackend()
{
    return nullptr;
}
#elif defined(TEV_PLUGIN_dependent)
extern "C" LoggerBackend* noBackend();
TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return noBackend();
}
#elif defined(TEV_PLUGIN_throwing)
TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    throw std::runtime_error("no backend today");
}
#endif
