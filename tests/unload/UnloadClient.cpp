// The client library of the unload test: it links the framework, so that the host's
// unloading of it unloads the framework too. Its channels and objects report to the
// host's event log, which outlives both libraries.

#include "UnloadScenario.h"

#include "Tev/Framework/Framework.h"
#include "Tev/Framework/GenericLogger/Logger.h"
#include "Tev/Framework/Management/MemoryManager/IRegisteredObject.h"
#include "Tev/Framework/Management/MemoryManager/Registry.h"
#include "Tev/Framework/Management/PropertyManager.h"

#include <string>

#if defined(_WIN32)
#  define TEV_UNLOAD_ENTRY extern "C" __declspec(dllexport)
#else
#  define TEV_UNLOAD_ENTRY extern "C" __attribute__((visibility("default")))
#endif

namespace {

using namespace Tev::Framework::GenericLogger;
using Tev::Framework::Framework;
namespace MemoryManager = Tev::Framework::Management::MemoryManager;

TevTest::EventLog* events = nullptr;
bool logFromRelease = false, loadFromRelease = false;

// Heap objects that touch nothing of this library's static data: they are called
// while the framework is torn down, after this library's own teardown.
class ReportingChannel : public LoggingChannel {
public:
    ReportingChannel(TevTest::EventLog* log, const char* loggerName)
        : log_(log), released_(std::string("release ") + loggerName)
    {}
    void log(LoggingLevel, const char*) override {}
    void release() override
    {
        log_->add(released_.c_str());
        if (logFromRelease)
            LogStream(Logger::getLogger("unload.released"), LevelError) << "released while the library unloads";
        if (loadFromRelease) {
            try {
                Logger::loadBackend("null");
                log_->add("load allowed");
            } catch (const LoggerException&) {
                log_->add("load refused");
            }
        }
        delete this;
    }

private:
    TevTest::EventLog* log_;
    std::string released_;
};

// Destroyed with this library, before the framework's teardown, which forgets the
// installed backends without touching them.
class ReportingBackend : public LoggerBackend {
public:
    LoggingChannel* createChannel(const char* loggerName) override { return new ReportingChannel(events, loggerName); }
} backend;

class ReportingObject : public MemoryManager::IRegisteredObject {
public:
    ~ReportingObject() override { events->add("object destroyed"); }
};

const auto makeObject = []() -> MemoryManager::IRegisteredObject* { return new ReportingObject; };

} // namespace

TEV_UNLOAD_ENTRY int runUnloadScenario(TevTest::UnloadScenario* scenario)
{
    events = scenario->events;
    logFromRelease = scenario->logFromRelease;
    loadFromRelease = scenario->loadFromRelease;
    Logger::installBackend(&backend);
    Logger* a = Logger::getLogger("unload.a");
    Logger* b = Logger::getLogger("unload.b");
    a->stream() << "message " << 1 << " draws " << Framework::randomNumber(); // this thread outlives the library
    LogStream(b, LevelError) << "message " << 2.5;

    if (scenario->setProperty) {
        auto* properties = Framework::propertyManager();
        const std::wstring name = L"unload.\u4e2d", value = L"a value long enough to live on the heap";
        properties->setProperty(name, value);
        scenario->propertyBuffer = properties->getProperty(name).data();
        if (properties->getProperty(name) != value)
            return 1;
    }
    MemoryManager::registerObject("unload.object", makeObject);
    if (!scenario->leaveObjectRegistered)
        MemoryManager::unregisterObject("unload.object");
    if (scenario->keepChannels)
        Logger::unloadLoggingChannels(false);
    return 0;
}

TEV_UNLOAD_ENTRY void logOnThisThread()
{
    LogStream(Logger::getLogger("unload.thread"), LevelError) << "from a thread that outlives the library";
}
