// A tour of the library as a new client meets it: loggers and thresholds, the cache,
// backends loaded by name (console, stdout, file), TEV_LOG, properties, counters, the object
// registry, random numbers, the crisis log, and closing the loggers. The example backend
// library "stdout" (StdoutBackend.cpp) is built beside it and installed by name.

#include <Tev/Framework/Counting/Counter.h>
#include <Tev/Framework/CrisisLogging/CrisisLogger.h>
#include <Tev/Framework/Framework.h>
#include <Tev/Framework/GenericLogger/Logger.h>
#include <Tev/Framework/Management/MemoryManager/Registry.h>
#include <Tev/Framework/StringHolder.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

using namespace Tev::Framework;
using namespace Tev::Framework::GenericLogger;
namespace Registry = Tev::Framework::Management::MemoryManager;

namespace {

void step(const char* text)
{
    std::printf("\n== %s\n", text);
    std::fflush(stdout);
}

int expensiveCalls = 0;
int expensive()
{
    return ++expensiveCalls;
}

// An object kept in the named object registry.
class Connection : public Registry::IRegisteredObject {
public:
    Connection() { std::printf("   (a Connection is created)\n"); }
    ~Connection() override { std::printf("   (the Connection is destroyed)\n"); }
};

Registry::IRegisteredObject* makeConnection()
{
    return new Connection;
}

} // namespace

int main()
{
    try {
        step("Loggers: getLogger gives one logger per name; each starts with threshold 50 (error).");
        Logger* app = Logger::getLogger("Demo.App");
        Logger* net = Logger::getLogger("Demo.Net");
        std::printf("   same name, same logger: %s\n", Logger::getLogger("Demo.App") == app ? "yes" : "no");
        std::printf("   info (20) active? %s; error (50) active? %s\n", app->isLevelActive(LevelInfo) ? "yes" : "no",
                    app->isLevelActive(LevelError) ? "yes" : "no");
        net->minLogLevel(LevelDebug);
        std::printf("   Demo.Net lowered to 10: debug active there? %s\n",
                    net->isLevelActive(LevelDebug) ? "yes" : "no");

        step("No backend yet: three messages wait in each logger's cache (at most 101 each).");
        LogStream(app, LevelError) << "starting, version " << 1;
        net->stream(LevelWarning) << "no network yet";
        app->stream() << "a debug message at level 10";

        step("Installing the backend 'console' by name (console_ru.so): the caches are replayed.");
        Logger::installBackend("console");

        step("TEV_LOG checks the threshold first: below it, the operands are not even evaluated.");
        TEV_LOG(app, LevelInfo) << "not shown " << expensive();
        TEV_LOG(app, LevelError) << "shown, took " << 3.5 << " ms";
        std::printf("   expensive() was called %d times\n", expensiveCalls);

        step("The example backend 'stdout' (stdout_ru.so, built beside this program): one more channel per logger.");
        Logger::installBackend("stdout");
        LogStream(net, LevelWarning) << "this line goes to every installed backend";

        step("The backend 'file', configured through properties: a rotating file of 64 KiB, 2 kept.");
        const std::string path = (std::filesystem::temp_directory_path() / "tev-demo.log").string();
        std::filesystem::remove(path);
        auto* properties = Framework::propertyManager();
        properties->setProperty(L"Tev.Backend.File.Path", std::wstring(path.begin(), path.end()));
        properties->setProperty(L"Tev.Backend.File.MaxSize", L"65536");
        properties->setProperty(L"Tev.Backend.File.MaxFiles", L"2");
        Logger::installBackend("file");
        LogStream(net, LevelNotice) << "connected to example.org:443";
        LogStream(app, LevelWarning) << "disk 91% full"; // warning and above are flushed at once
        std::printf("   the file is %s; its first lines:\n", path.c_str());
        std::ifstream file(path);
        std::string line;
        for (int i = 0; i < 5 && std::getline(file, line); ++i)
            std::printf("   | %s\n", line.c_str());

        step("Properties: named wide-string values, process-wide.");
        properties->setProperty(L"Demo.User", L"ada");
        std::printf("   Demo.User is set: %s, %zu characters\n", properties->hasProperty(L"Demo.User") ? "yes" : "no",
                    properties->getProperty(L"Demo.User").size());
        properties->clearProperty(L"Demo.User");
        try {
            properties->getProperty(L"Demo.User");
        } catch (const Exceptions::UnexistentProperty& error) {
            std::printf("   after clearing it: %s\n", error.message());
        }

        step("Counters: named, process-wide, starting at 0.");
        Counting::Counter& requests = Counting::Counter::counter("Demo.Requests");
        requests.next();
        requests.next();
        std::printf("   Demo.Requests gives %d next\n", Counting::Counter::counter("Demo.Requests").next());

        step("The object registry: named, reference-counted objects made by a factory on demand.");
        Registry::registerObject("Demo.Connection", &makeConnection);
        Registry::registerObject("Demo.Connection", &makeConnection); // a second reference, same object
        std::printf("   found: %s\n", Registry::findObject("Demo.Connection") != nullptr ? "yes" : "no");
        Registry::unregisterObject("Demo.Connection");
        Registry::unregisterObject("Demo.Connection"); // the last reference destroys it

        step("A random number from the shared source (0 to 65535), and a string that crosses the library.");
        StringHolder text("random: ");
        text += StringHolder(std::to_string(Framework::randomNumber()).c_str());
        std::printf("   %s\n", text.c_str());

        step("The crisis log: one time-stamped line appended to /var/tmp/tev.log, no backend needed.");
        try {
            CrisisLogging::CrisisLogger::instance().log("the demo wrote this line");
            std::printf("   appended to /var/tmp/tev.log\n");
        } catch (const Exceptions::FrameworkException& error) {
            std::printf("   not written: %s; going on\n", error.message());
        }

        step("Closing all loggers: every channel is released, the loaded backends deleted and unloaded.");
        Logger::closeAllLoggers();
        std::printf("   done; %s is left for you to read.\n", path.c_str());
        return 0;
    } catch (const std::exception& error) {
        std::printf("demo failed: %s\n", error.what());
        return 1;
    }
}
