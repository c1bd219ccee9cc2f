#include "LoggingTest.h"

#include "Tev/Framework/Framework.h"

#include <gmock/gmock.h>

#include <cerrno>
#include <cstring>
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
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// Runs `body` in a child process whose /dev is a private tmpfs holding the test's own
// datagram socket as /dev/log; returns what arrived there, one datagram a line, or
// "skip: <why>" when the process may not make such a namespace.
std::string systemLogOf(const std::function<void()>& body)
{
    int out[2];
    if (pipe(out) != 0)
        return "skip: pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        auto reply = [&](const std::string& text) { (void)!write(out[1], text.data(), text.size()); };
        if (unshare(CLONE_NEWNS) != 0)
            reply(std::string("skip: no private mount namespace: ") + std::strerror(errno)), _exit(0);
        if ((mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 &&
             mount(nullptr, "/dev", nullptr, MS_PRIVATE, nullptr) != 0) ||
            mount("tmpfs", "/dev", "tmpfs", 0, nullptr) != 0)
            reply(std::string("skip: no private /dev: ") + std::strerror(errno)), _exit(0);
        const int socketFd = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "/dev/log");
        if (bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            reply("skip: cannot bind /dev/log"), _exit(0);
        closelog(); // a connection inherited from the parent goes elsewhere
        body();
        char datagram[4096];
        for (ssize_t n; (n = recv(socketFd, datagram, sizeof datagram, MSG_DONTWAIT)) > 0;)
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

using SyslogBackend = TevTest::LoggingTest;

TEST_F(SyslogBackend, SendsEachMessageWithItsPriorityIdentAndLoggerName)
{
    const struct {
        int level;
        int priority;
    } cases[] = {{10, LOG_DEBUG}, {20, LOG_INFO},  {30, LOG_INFO},  {40, LOG_WARNING}, {50, LOG_ERR},
                 {60, LOG_CRIT},  {-3, LOG_DEBUG}, {19, LOG_DEBUG}, {99, LOG_CRIT}};
    const std::string received = systemLogOf([&] {
        Logger::installBackend("syslog");
        for (const auto& c : cases)
            LogStream(logger(), static_cast<LoggingLevel>(c.level)) << "level " << c.level;
        Logger::closeAllLoggers();
    });
    if (received.rfind("skip: ", 0) == 0)
        GTEST_SKIP() << received;
    std::string expected;
    for (const auto& c : cases)
        expected += "<" + std::to_string(LOG_USER | c.priority) + ">[A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} " +
                    program_invocation_short_name + "\\[[0-9]+\\]: \\[" + name() + "\\] level " +
                    std::to_string(c.level) + "\n";
    EXPECT_THAT(received, MatchesRegex(expected));
}

TEST_F(SyslogBackend, TakesItsIdentFromTheProperties)
{
    auto* store = Tev::Framework::Framework::propertyManager();
    const std::string received = systemLogOf([&] {
        store->setProperty(L"Tev.Backend.Syslog.Ident", L"tev-ident");
        Logger::installBackend("syslog");
        LogStream(logger(), LevelError) << "hello";
        Logger::closeAllLoggers();
    });
    if (received.rfind("skip: ", 0) == 0)
        GTEST_SKIP() << received;
    EXPECT_THAT(received, HasSubstr(" tev-ident["));
    store->setProperty(L"Tev.Backend.Syslog.Ident", L"");
    EXPECT_THROW(Logger::loadBackend("syslog"), std::invalid_argument);
    store->clearProperty(L"Tev.Backend.Syslog.Ident");
}

} // namespace
