// A client program: it logs before any backend exists, installs the backend library
// "stdout" by name, sees the cached messages replayed in order, and closes its loggers.

#include <Tev/Framework/GenericLogger/Logger.h>

#include <cstdio>

using namespace Tev::Framework::GenericLogger;

int main()
{
    Logger* app = Logger::getLogger("Demo.App");
    Logger* framework = Logger::getLogger(Tev::Framework::frameworkLoggerName);

    std::printf("Logging three messages before any backend is installed: they wait in the cache.\n");
    LogStream(app, LevelError) << "starting, pid-like number " << 4242;
    framework->stream(LevelWarning) << "no backend yet, caching";
    app->stream() << "a debug message at level 10";

    std::printf("Installing the backend library 'stdout' (stdout_ru.so): the cache is replayed.\n");
    try {
        Logger::installBackend("stdout");
    } catch (const std::exception& error) {
        std::printf("could not load the backend: %s\n", error.what());
        return 1;
    }

    std::printf("Logging with a threshold of 50: TEV_LOG skips what is below it.\n");
    TEV_LOG(app, LevelInfo) << "not shown: level 20 is below the threshold";
    TEV_LOG(app, LevelError) << "shown at once: " << 3.5 << " ms";
    app->minLogLevel(LevelInfo);
    TEV_LOG(app, LevelInfo) << "shown after lowering the threshold to 20";

    std::printf("Installing a null backend is refused:\n");
    try {
        Logger::installBackend(static_cast<LoggerBackend*>(nullptr));
    } catch (const LoggerException& error) {
        std::printf("  %s\n", error.what());
    }

    std::printf("Closing all loggers: each channel is released, then the backend is deleted.\n");
    Logger::closeAllLoggers();
    std::printf("Done.\n");
    return 0;
}
