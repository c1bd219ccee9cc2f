// Loaded and unloaded over and over by UnloadTest.cpp: uses what keeps per-thread and
// process-wide state, on threads that end and on the host's thread, which lives on.
#include "Tev/Framework/Framework.h"
#include "Tev/Framework/GenericLogger/Logger.h"
#include "Tev/Framework/Management/PropertyManager.h"

#include <thread>
#include <vector>

extern "C" __declspec(dllexport) int tevUnloadWorkload()
{
    using namespace Tev::Framework;
    GenericLogger::Logger* log = GenericLogger::Logger::getLogger("Tev.Windows.Unload");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([log, t] {
            for (int i = 0; i < 20; ++i) {
                log->stream() << "thread " << t << " draws " << Framework::randomNumber();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    log->stream() << "host thread draws " << Framework::randomNumber();
    Framework::propertyManager()->setProperty(L"\u4e2d", L"value");
    return Framework::propertyManager()->getProperty(L"\u4e2d") == L"value" ? 0 : 1;
}
