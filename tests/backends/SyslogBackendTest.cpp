#include "Recording.h"

#include "Tev/Framework/Framework.h"

#include <gmock/gmock.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

namespace {

using namespace Tev::Framework::GenericLogger;

// Runs `body` in a child whose /dev is a private tmpfs with a datagram socket of the test's
// own as /dev/log; returns the datagrams that arrived, one a line, or "skip: <why>".
std::string systemLogOf(const std::function<void()>& body)
{
    int out[2];
    if (pipe(out) != 0)
        return "skip: no pipe";
    const pid_t child = fork();
    if (child == 0) {
        auto reply = [&](const std::string& text) { (void)!write(out[1], text.data(), text.size()); };
        sockaddr_un address{AF_UNIX, "/dev/log"};
        const int log = socket(AF_UNIX, SOCK_DGRAM, 0);
        if (unshare(CLONE_NEWNS) != 0 ||
            (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 &&
             mount(nullptr, "/dev", nullptr, MS_PRIVATE, nullptr) != 0) ||
            mount("tmpfs", "/dev", "tmpfs", 0, nullptr) != 0 ||
            bind(log, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            reply(std::string("skip: no /dev/log of our own (needs root): ") + std::strerror(errno)), _exit(0);
        closelog(); // a connection inherited from the parent leads elsewhere
        body();
        char datagram[4096];
        for (ssize_t n; (n = recv(log, datagram, sizeof datagram, MSG_DONTWAIT)) > 0;)
            reply(std::string(datagram, static_cast<std::size_t>(n)) + "\n");
        _exit(0);
    }
    close(out[1]);
    std::string received;
    char chunk[4096];
    for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;)
        received.append(chunk, static_cast<std::size_t>(n));
    close(out[0]);
    waitpid(child, nullptr, 0);
    return received;
}

TEST(SyslogBackend, SendsEachMessageWithItsPriorityIdentAndLoggerName)
{
    const struct {
        int level;
        int priority;
    } cases[] = {{-3, LOG_DEBUG},   {10, LOG_DEBUG}, {19, LOG_DEBUG}, {20, LOG_INFO}, {39, LOG_INFO},
                 {40, LOG_WARNING}, {50, LOG_ERR},   {60, LOG_CRIT},  {99, LOG_CRIT}};
    for (const std::wstring ident : {L"", L"tev-ident"}) {
        // By path: a mount namespace in a chroot can hide the program's folder.
        const std::string backend = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "syslog";
        const std::string received = systemLogOf([&] {
            if (!ident.empty())
                Tev::Framework::Framework::propertyManager()->setProperty(L"Tev.Backend.Syslog.Ident", ident);
            Logger::installBackend(backend.c_str());
            for (const auto& c : cases)
                LogStream(Logger::getLogger("syslog.test"), static_cast<LoggingLevel>(c.level)) << "level " << c.level;
            Logger::closeAllLoggers();
        });
        if (received.rfind("skip: ", 0) == 0)
            GTEST_SKIP() << received;
        std::string expected;
        for (const auto& c : cases)
            expected += "<" + std::to_string(LOG_USER | c.priority) + ">[A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} " +
                        (ident.empty() ? program_invocation_short_name : "tev-ident") +
                        "\\[[0-9]+\\]: \\[syslog.test\\] level " + std::to_string(c.level) + "\n";
        EXPECT_THAT(received, ::testing::MatchesRegex(expected));
    }
}

TEST(SyslogBackend, RefusesAnEmptyIdent)
{
    auto* properties = Tev::Framework::Framework::propertyManager();
    properties->setProperty(L"Tev.Backend.Syslog.Ident", L"");
    EXPECT_THAT([] { Logger::loadBackend("syslog"); },
                ::testing::ThrowsMessage<std::invalid_argument>(
                    ::testing::HasSubstr("Property Tev.Backend.Syslog.Ident has the bad value ''")));
    properties->clearProperty(L"Tev.Backend.Syslog.Ident");
}

} // namespace
