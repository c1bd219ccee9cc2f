// A client of the installed package: loads a bundled backend by name, logs through it,
// and uses the property store. Prints "client ok: <how it was built>" when all worked.

#include <Tev/Framework/Framework.h>
#include <Tev/Framework/GenericLogger/Logger.h>

#include <cstdio>
#include <exception>

using namespace Tev::Framework;

int main(int argc, char** argv)
{
    try {
        GenericLogger::Logger* log = GenericLogger::Logger::getLogger("Client");
        if (GenericLogger::Logger::installBackend("console") == nullptr)
            return 1;
        GenericLogger::LogStream(log, GenericLogger::LevelError) << "logged through the installed console backend";
        Framework::propertyManager()->setProperty(L"Client.Answer", L"42");
        const bool stored = Framework::propertyManager()->getProperty(L"Client.Answer") == L"42";
        GenericLogger::Logger::closeAllLoggers();
        if (!stored)
            return 1;
        std::printf("client ok: %s\n", argc > 1 ? argv[1] : "");
        return 0;
    } catch (const std::exception& error) {
        std::printf("client failed: %s\n", error.what());
        return 1;
    }
}
