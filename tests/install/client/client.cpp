// A client program as users build it, against an installed prefix, the Debian packages, the
// source tree added by a parent project, or the Windows zip: it installs the bundled console
// and file backends by name, logs through both and reads the file back.
//   client LABEL LOGFILE    prints "client ok: LABEL" when all worked

#include <Tev/Framework/Framework.h>
#include <Tev/Framework/GenericLogger/Logger.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>

using namespace Tev::Framework;
using GenericLogger::Logger;

namespace {

int fail(const std::string& why)
{
    std::printf("client failed: %s\n", why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return fail("usage: client LABEL LOGFILE");
    const std::string label = argv[1], path = argv[2];
    try {
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
