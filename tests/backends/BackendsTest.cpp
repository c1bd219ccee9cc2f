// The bundled backends' settings seen in real output (files, a pipe, a system-log socket of
// the test's own), a table per backend, and one table of the values they refuse.
#include "Recording.h"

#include "Tev/Framework/Framework.h"

#include <gmock/gmock.h>

#include <climits>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

namespace {

using namespace TevTest;
namespace fs = std::filesystem;
using ::testing::MatchesRegex;

// Each level as the console and the file name it and the system log ranks it.
const struct {
    int level;
    const char* name;
    int priority;
} levels[] = {{-7, "trace", LOG_DEBUG},    {10, "debug", LOG_DEBUG}, {19, "debug", LOG_DEBUG},
              {20, "info", LOG_INFO},      {39, "info", LOG_INFO},   {40, "warning", LOG_WARNING},
              {50, "error", LOG_ERR},      {59, "error", LOG_ERR},   {60, "critical", LOG_CRIT},
              {1000, "critical", LOG_CRIT}};
const std::string date = "[0-9]{4}-[0-9]{2}-[0-9]{2}", time = "[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}";

// Sets Tev.Backend.<backend>.<name> for each "name=value" in `settings` (split at ';')
// until the returned guard goes.
std::shared_ptr<void> set(const std::string& backend, const std::string& settings)
{
    auto* store = Tev::Framework::Framework::propertyManager();
    std::vector<std::wstring> names;
    std::istringstream each(settings);
    for (std::string setting; std::getline(each, setting, ';');) {
        const std::string name = "Tev.Backend." + backend + "." + setting.substr(0, setting.find('=')),
                          value = setting.substr(setting.find('=') + 1);
        store->setProperty(names.emplace_back(name.begin(), name.end()), {value.begin(), value.end()});
    }
    return {nullptr, [=](void*) {
                for (const std::wstring& name : names)
                    store->clearProperty(name);
            }};
}

// Logs "level N" to the logger "t" at each level, then calls `after` with it.
void logLevels(const std::function<void(int)>& after = nullptr)
{
    for (const auto& c : levels) {
        LogStream(Logger::getLogger("t"), static_cast<LoggingLevel>(c.level)) << "level " << c.level;
        if (after)
            after(c.level);
    }
}

// The lines `shape` gives for each level from `least` on, '@' standing for the level's name,
// '#' for its number and '&' for its priority (with `facility`).
std::string lines(const std::string& shape, long long least = INT_MIN, int facility = LOG_USER)
{
    std::string all;
    for (const auto& c : levels)
        for (const char ch : c.level >= least ? shape + "\n" : "")
            all += ch == '@'   ? c.name
                   : ch == '#' ? std::to_string(c.level)
                   : ch == '&' ? std::to_string(facility | c.priority)
                               : std::string(1, ch);
    return all;
}

// Each test runs in an empty folder of its own.
class Backends : public ::testing::Test {
protected:
    void SetUp() override { fs::remove_all(dir), fs::create_directory(dir), fs::current_path(dir); }
    void TearDown() override { resetLogging(), fs::current_path(before), fs::remove_all(dir); }
    std::map<std::string, std::string> files() const
    {
        std::map<std::string, std::string> all;
        for (const auto& file : fs::directory_iterator(dir))
            all[file.path().filename()] = (std::ostringstream() << std::ifstream(file.path()).rdbuf()).str();
        return all;
    }
    const fs::path before = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("tev-backend-test-" + std::to_string(getpid()));
};

TEST_F(Backends, FileWritesWhatItsSettingsSay)
{
    // The settings; the files' names; the least level after which they are not empty; their text.
    const std::tuple<const char*, std::string, long long, std::string> cases[] = {
        {"", "tev-framework.log", 40, lines(date + " " + time + " @ \\[t\\] level #")},
        {"Path=app.log;Level=45;FlushLevel=error;Pattern=%l|%n|%v", "app.log", 50, lines("@\\|t\\|level #", 45)},
        {"Path=app.log;Rotation=daily;RotationTime=23:59;Level=warning;FlushLevel=off;Pattern=%v",
         "app_" + date + "\\.log", LLONG_MAX, lines("level #", 40)},
        {"Path=app.log;Rotation=hourly;FlushLevel=-7;Pattern=%v", "app_" + date + "_[0-9]{2}\\.log", -7,
         lines("level #")},
        // Three lines a file: four files made, the oldest removed.
        {"Path=app.log;MaxSize=30;MaxFiles=2;FlushLevel=trace;Pattern=%v", "app.1.log app.2.log app.log", INT_MIN,
         "(level [0-9]+\n){7}"},
    };
    for (const auto& [settings, names, firstOut, text] : cases) {
        const auto properties = set("File", settings);
        LoggerBackend* backend = Logger::installBackend("file");
        LoggingChannel* channel = backend->createChannel("t");
        channel->release();
        EXPECT_EQ(backend->createChannel("t"), channel) << "one channel per logger, kept after its release";
        logLevels([&, firstOut = firstOut, settings = settings](int level) {
            EXPECT_EQ(files().begin()->second.empty(), level < firstOut) << settings << ", after level " << level;
        });
        resetLogging();
        std::string madeNames, madeText;
        for (const auto& [name, content] : files())
            madeNames += name + " ", madeText += content;
        EXPECT_THAT(madeNames, MatchesRegex(names + " "));
        EXPECT_THAT(madeText, MatchesRegex(text));
        for (const auto& file : fs::directory_iterator(dir))
            fs::remove(file);
    }
}

// What the console backend with `settings` writes to the file descriptor `fd`, through a pipe.
std::string console(const char* settings, int fd)
{
    const auto properties = set("Console", settings);
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    std::fflush(nullptr);
    const int saved = dup(fd);
    dup2(ends[1], fd), close(ends[1]);
    Logger::installBackend("console");
    logLevels();
    Logger::closeAllLoggers();
    std::fflush(nullptr);
    dup2(saved, fd), close(saved);
    std::string text(1 << 16, '\0'); // more than the pipe holds, so one read takes it all
    text.resize(static_cast<std::size_t>(std::max<ssize_t>(read(ends[0], text.data(), text.size()), 0)));
    close(ends[0]);
    return text;
}

TEST_F(Backends, ConsoleWritesWhatItsSettingsSay)
{
    // The settings; the file descriptor the lines go to; the lines.
    const std::tuple<const char*, int, std::string> cases[] = {
        {"", 1, lines(time + " @ \\[t\\] level #")},
        {"Stream=stderr;Level=info;Pattern=%n %l: %v", 2, lines("t @: level #", 20)},
        {"Stream=stdout;Colour=always;Pattern=%^%l%$ %v", 1, lines("(\x1b\\[[0-9]+m)+@\x1b\\[m level #")},
        {"Colour=never;FlushLevel=off;Pattern=%^%l%$ %v", 1, lines("@ level #")},
    };
    for (const auto& [settings, fd, text] : cases)
        EXPECT_THAT(console(settings, fd), MatchesRegex(text)) << settings;
}

// In a child whose /dev/log is a socket of the test's own: logs each level through the syslog
// backend of `folder` with `settings`, then writes each message that arrived, one a line, to
// standard error.
[[noreturn]] void logToOwnSystemLog(const char* settings, const fs::path& folder)
{
    sockaddr_un address{AF_UNIX, "/dev/log"};
    const int log = socket(AF_UNIX, SOCK_DGRAM, 0);
    if (unshare(CLONE_NEWNS) != 0 ||
        (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 &&
         mount(nullptr, "/dev", nullptr, MS_PRIVATE, nullptr) != 0) ||
        mount("tmpfs", "/dev", "tmpfs", 0, nullptr) != 0 ||
        bind(log, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "no /dev/log of our own: %s\n", std::strerror(errno));
        _exit(1);
    }
    closelog(); // a connection inherited from the parent leads elsewhere
    const auto properties = set("Syslog", settings);
    Logger::installBackend((folder / "syslog").c_str());
    logLevels();
    Logger::closeAllLoggers();
    char datagram[4096];
    for (ssize_t n; (n = recv(log, datagram, sizeof datagram, MSG_DONTWAIT)) > 0;)
        std::fprintf(stderr, "%.*s\n", static_cast<int>(n), datagram);
    _exit(0);
}

TEST_F(Backends, SyslogSendsWhatItsSettingsSay)
{
    // Found first: in a chroot, a namespace of our own names the program by its path outside.
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
    if (unshare(CLONE_NEWNS) != 0)
        GTEST_SKIP() << "no mount namespace of our own (needs root): " << std::strerror(errno);
    const std::string stamp = "<&>[A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} ",
                      program = program_invocation_short_name + std::string("\\[[0-9]+\\]: ");
    const std::pair<const char*, std::string> cases[] = {
        {"", lines(stamp + program + "\\[t\\] level #")},
        {"Ident=tev-ident;Facility=local3;Level=50;Pattern=%l %v",
         lines(stamp + "tev-ident\\[[0-9]+\\]: @ level #", 50, LOG_LOCAL3)},
        {"Facility=daemon;Level=info;FlushLevel=debug", lines(stamp + program + "\\[t\\] level #", 20, LOG_DAEMON)},
    };
    for (const auto& [settings, text] : cases)
        EXPECT_EXIT(logToOwnSystemLog(settings, folder), ::testing::ExitedWithCode(0), MatchesRegex(text));
}

TEST_F(Backends, RefuseBadValuesNamingThePropertyAndTheValueAndMakeNothing)
{
    using namespace std::string_literals;
    const std::string size = "a whole number from 1 to 18446744073709551615 is expected",
                      level = "a level name (trace, debug, info, warning, error, critical, off) or a whole number "
                              "from -2147483648 to 2147483647 is expected";
    const std::string tooLong = "made/" + std::string(NAME_MAX + 1, 'x'),
                      time = "a time of day from 00:00 to 23:59 is expected";
    fs::create_symlink("nowhere", "gone"); // no folder can be made there, and no file opened below it
    fs::create_directory("logs");
    set("File", "Path=logs/held.log"), Logger::loadBackend("file"); // held until the loggers are closed
    // The backend; settings, each tried alone, the last one of each refused; why.
    const std::tuple<std::string, std::vector<std::string>, std::string> cases[] = {
        {"File", {"MaxSize=0", "MaxSize=12k", "MaxSize=18446744073709551616"}, size},
        {"File", {"MaxFiles=1001"}, "a whole number from 0 to 1000 is expected"},
        {"File", {"Rotation=hourly;MaxFiles=65535"}, "a whole number from 0 to 65534 is expected"},
        {"File", {"Path="}, "it is empty"},
        {"File", {"Path=app\0.log"s}, "it holds a NUL character"},
        {"File", {"Path=gone/app.log"}, "Failed making folder " + (dir / "gone").string() + ": File exists"},
        {"File",
         {"Path=" + tooLong},
         "Failed opening file " + (dir / tooLong).string() + " for writing: File name too long"},
        {"File",
         {"Path=logs/../logs/held.log"},
         "another file backend of this process writes " + (dir / "logs/held.log").string()},
        {"File",
         {"Path=newdir/", "Rotation=hourly;Path=logs", "Rotation=daily;Path=newdir/.", "Path=newdir/.."},
         "it names a folder"},
        {"File", {"Rotation=weekly"}, "one of size, daily, hourly is expected"},
        {"File", {"RotationTime=24:00", "RotationTime=-0:30", "RotationTime=00:-0", "RotationTime=12:60"}, time},
        {"File", {"Level=Warning", "FlushLevel=2147483648"}, level},
        {"Console", {"Level=+5"}, level},
        {"Console", {"Stream=stdlog"}, "one of stdout, stderr is expected"},
        {"Console", {"Colour=\x1f ~\x7f"}, "one of auto, always, never is expected"},
        {"Syslog", {"FlushLevel= 5"}, level},
        {"Syslog",
         {"Facility=local8"},
         "one of user, local0, local1, local2, local3, local4, local5, local6, local7, daemon is expected"},
        {"Syslog", {"Ident=id\0x"s}, "it holds a NUL character"},
    };
    for (const auto& [backend, tried, why] : cases)
        for (const std::string& settings : tried) {
            const auto properties = set(backend, settings);
            std::string library = backend, refused = settings.substr(settings.find_last_of(';') + 1);
            library[0] = static_cast<char>(std::tolower(library[0]));
            std::replace_if(
                refused.begin(), refused.end(), [](char c) { return c < ' ' || c == '\x7f'; }, '?');
            refused.replace(refused.find('='), 1, " has the bad value '");
            EXPECT_THAT([&] { Logger::loadBackend(library.c_str()); },
                        ::testing::ThrowsMessage<std::invalid_argument>("Property Tev.Backend." + backend + "." +
                                                                        refused + "': " + why));
        }
    // A code that is no character is refused in any locale (glibc's UTF-8 would encode it); a
    // character the locale cannot encode is refused as such.
    const std::string locale = std::setlocale(LC_ALL, nullptr), no = "it holds a code that is no Unicode character";
    for (const auto& [code, why] : {std::pair<wchar_t, std::string>(0xe9, "the current locale cannot encode it"),
                                    {0x10ffff, ""},
                                    {0x110000, no},
                                    {0xd800, no},
                                    {0xdfff, no}}) {
        ASSERT_TRUE(std::setlocale(LC_ALL, code == 0xe9 ? "C" : "C.UTF-8"));
        Tev::Framework::Framework::propertyManager()->setProperty(L"Tev.Backend.Console.Pattern", {L'\xe9', code});
        const auto load = [] { Logger::loadBackend("console"); };
        if (why.empty())
            EXPECT_NO_THROW(load());
        else
            EXPECT_THAT(load, ::testing::ThrowsMessage<std::invalid_argument>(
                                  "Property Tev.Backend.Console.Pattern has the bad value '\?\?': " + why));
    }
    Tev::Framework::Framework::propertyManager()->clearProperty(L"Tev.Backend.Console.Pattern");
    std::setlocale(LC_ALL, locale.c_str());
    EXPECT_THAT(files(), ::testing::ElementsAre(::testing::Key("gone"), ::testing::Key("logs")))
        << "every setting is read and the file opened before anything is left";
}

} // namespace
