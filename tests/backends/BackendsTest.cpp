// The bundled file and syslog backends against real output: files in a temporary folder
// of each test's own, and a system-log socket of the test's own.
#include "Recording.h"

#include "Tev/Framework/Framework.h"

#include <gmock/gmock.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

namespace {

using namespace TevTest;
namespace fs = std::filesystem;
using ::testing::HasSubstr;

// How both backends name or rank a level.
const struct {
    int level;
    const char* name;
    int priority;
} levelCases[] = {{-7, "trace", LOG_DEBUG},    {10, "debug", LOG_DEBUG}, {19, "debug", LOG_DEBUG},
                  {20, "info", LOG_INFO},      {39, "info", LOG_INFO},   {40, "warning", LOG_WARNING},
                  {50, "error", LOG_ERR},      {59, "error", LOG_ERR},   {60, "critical", LOG_CRIT},
                  {1000, "critical", LOG_CRIT}};

Tev::Framework::Management::PropertyManager& store()
{
    return *Tev::Framework::Framework::propertyManager();
}

class FileBackend : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tev-file-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        set(L"Path", (dir / "app.log").string());
    }
    void TearDown() override
    {
        resetLogging();
        for (const wchar_t* setting : {L"Path", L"MaxSize", L"MaxFiles"})
            if (store().hasProperty(std::wstring(L"Tev.Backend.File.") + setting))
                store().clearProperty(std::wstring(L"Tev.Backend.File.") + setting);
        fs::remove_all(dir);
    }
    static void set(const wchar_t* setting, const std::string& value)
    {
        store().setProperty(std::wstring(L"Tev.Backend.File.") + setting, std::wstring(value.begin(), value.end()));
    }
    std::string read(const std::string& file) const
    {
        std::ostringstream text;
        text << std::ifstream(dir / file).rdbuf();
        return text.str();
    }
    fs::path dir;
};

TEST_F(FileBackend, WritesTimeLevelNameAndLoggerNameAndFlushesFromWarningOn)
{
    Logger::installBackend("file");
    std::string expected;
    for (const auto& c : levelCases) {
        LogStream(Logger::getLogger("f"), static_cast<LoggingLevel>(c.level)) << "level " << c.level;
        expected += "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}\\.[0-9]{3} " + std::string(c.name) + " \\[f\\] level " +
                    std::to_string(c.level) + "\n";
        EXPECT_EQ(read("app.log").empty(), c.level < 40) << "below 40 a line waits; at 40 all go out";
    }
    Logger::closeAllLoggers();
    EXPECT_THAT(read("app.log"), ::testing::MatchesRegex(expected));
}

TEST_F(FileBackend, RotatesAtTheSizeKeepingThatManyFilesAndTheChannelPerLogger)
{
    set(L"MaxSize", "300");
    set(L"MaxFiles", "2");
    LoggerBackend* backend = Logger::installBackend("file");
    Journal journal;
    RecordingBackend other("B", journal);
    Logger::installBackend(&other); // every logger is given its channels again
    LoggingChannel* channel = backend->createChannel("f");
    EXPECT_EQ(backend->createChannel("f"), channel) << "one channel per logger, handed out again";
    channel->release(); // and it outlives its release: the logger may still hold it
    for (int i = 10; i < 40; ++i)
        LogStream(Logger::getLogger("f"), LevelInfo) << "message " << i;
    resetLogging({&other});
    EXPECT_FALSE(fs::exists(dir / "app.3.log"));
    std::string kept;
    for (const char* file : {"app.2.log", "app.1.log", "app.log"}) {
        EXPECT_LE(fs::file_size(dir / file), 300u) << file;
        kept += read(file);
    }
    const int first = std::stoi(kept.substr(kept.find("message ") + 8, 2));
    EXPECT_GT(first, 10);
    for (int i = first; i < 40; ++i)
        EXPECT_THAT(kept, HasSubstr("] message " + std::to_string(i) + "\n")) << "the newest lines, in order";
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 40 - first);
}

TEST_F(FileBackend, RefusesBadSettingsAndWritesInTheWorkingFolderByDefault)
{
    std::ofstream(dir / "plain");
    const std::pair<const wchar_t*, std::string> cases[] = {{L"MaxSize", "0"},
                                                            {L"MaxSize", "12k"},
                                                            {L"MaxSize", ""},
                                                            {L"MaxSize", "-1"},
                                                            {L"MaxSize", "99999999999999999999"},
                                                            {L"MaxFiles", "200001"},
                                                            {L"Path", ""},
                                                            {L"Path", (dir / "plain/a").string()}};
    for (const auto& [setting, value] : cases) {
        set(setting, value);
        const std::string name(setting, setting + std::wcslen(setting));
        EXPECT_THAT([] { Logger::loadBackend("file"); },
                    ::testing::ThrowsMessage<std::invalid_argument>(
                        HasSubstr("Property Tev.Backend.File." + name + " has the bad value '" + value + "'")));
        set(setting, name == "Path" ? (dir / "app.log").string() : "5");
    }
    store().clearProperty(L"Tev.Backend.File.Path");
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    Logger::installBackend("file");
    fs::current_path(before);
    LogStream(Logger::getLogger("f"), LevelError) << "default";
    EXPECT_THAT(read("tev-framework.log"), HasSubstr("] default\n"));
}

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

TEST(SyslogBackend, SendsEachMessageWithItsPriorityIdentAndLoggerNameAndRefusesAnEmptyIdent)
{
    const std::wstring identSetting = L"Tev.Backend.Syslog.Ident";
    for (const std::wstring ident : {L"", L"tev-ident"}) {
        // By path: a mount namespace in a chroot can hide the program's folder.
        const std::string backend = fs::read_symlink("/proc/self/exe").parent_path() / "syslog";
        const std::string received = systemLogOf([&] {
            if (!ident.empty())
                store().setProperty(identSetting, ident);
            Logger::installBackend(backend.c_str());
            for (const auto& c : levelCases)
                LogStream(Logger::getLogger("syslog.test"), static_cast<LoggingLevel>(c.level)) << "level " << c.level;
            Logger::closeAllLoggers();
        });
        if (received.rfind("skip: ", 0) == 0)
            GTEST_SKIP() << received;
        std::string expected;
        for (const auto& c : levelCases)
            expected += "<" + std::to_string(LOG_USER | c.priority) + ">[A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} " +
                        (ident.empty() ? program_invocation_short_name : "tev-ident") +
                        "\\[[0-9]+\\]: \\[syslog.test\\] level " + std::to_string(c.level) + "\n";
        EXPECT_THAT(received, ::testing::MatchesRegex(expected));
    }
    store().setProperty(identSetting, L"");
    EXPECT_THAT([] { Logger::loadBackend("syslog"); }, ::testing::ThrowsMessage<std::invalid_argument>(HasSubstr(
                                                           "Property Tev.Backend.Syslog.Ident has the bad value ''")));
    store().clearProperty(identSetting);
}

} // namespace
