// A client as users build it (against an installed prefix, the Debian packages, the source tree
// added by a parent project, the Windows zip). `client LABEL LOGFILE`: a backend that is nowhere
// fails with what() as ever, naming the files tried and the loader's reason; console and file are
// installed by name; the line logged is read back from LOGFILE; prints "client ok: LABEL".

#include <Tev/Framework/Framework.h>
#include <Tev/Framework/GenericLogger/BackendLibraryError.h>
#include <Tev/Framework/GenericLogger/Logger.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

using namespace Tev::Framework;
using GenericLogger::Logger;

static int fail(const std::string& why)
{
    std::printf("client failed: %s\n", why.c_str());
    return 1;
}

int main(int argc, char** argv)
{
    if (argc != 3)
        return fail("usage: client LABEL LOGFILE");
    const std::string label = argv[1], path = argv[2];
    try {
        try {
            Logger::loadBackend("nowhere");
            return fail("a backend that is nowhere loaded");
        } catch (const GenericLogger::BackendLibraryError& error) {
            const auto& tried = error.filesTried();
            const auto inBackendFolder = [](const std::string& file) { // either separator: one is found at most
                return file.find("tevframework/nowhere_ru.") != file.find("tevframework\\nowhere_ru.");
            };
            if (std::string(error.what()) != "Unable to resolve function createBackend from dynamic library\n"
                                             "Expression 'p != 0' failed in 'Tev/Gadgets/DLL/DLLHolder', line: 25" ||
                error.backendName() != "nowhere" || std::none_of(tried.begin(), tried.end(), inBackendFolder) ||
                tried.back().rfind("nowhere_ru.", 0) != 0 || error.loaderReason().empty())
                return fail("the load failure tells: " + error.loaderReason());
        }
        Framework::propertyManager()->setProperty(L"Tev.Backend.File.Path", std::wstring(path.begin(), path.end()));
        Logger* log = Logger::getLogger("Client");
        if (Logger::installBackend("console") == nullptr || Logger::installBackend("file") == nullptr)
            return fail("a backend library made no backend");
        GenericLogger::LogStream(log, GenericLogger::LevelError) << "logged by " << label;
        Logger::closeAllLoggers();
        std::ifstream file(path);
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (text.find("[Client] logged by " + label) == std::string::npos)
            return fail(path + " holds: " + text);
        std::printf("client ok: %s\n", label.c_str());
        return 0;
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
