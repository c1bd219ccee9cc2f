// The bundled backends' settings seen in real output (files, a pipe, a system-log socket of
// the test's own), a table per backend, and one table of the values they refuse.
#include "Recording.h"

#include "Tev/Framework/Framework.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <climits>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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
// A JSON line of the logger "t" from this thread ('.' for the '@' that lines() takes for the level's name).
const std::string json = R"(\{".timestamp":")" + date + "T" + time + R"(Z","log.level":"@","message":"level #",)" +
                         R"("log.logger":"t","process.pid":)" + std::to_string(getpid()) + R"(,"process.thread.id":)" +
                         std::to_string(gettid()) + R"(,"ecs.version":"8.11.0","tev.level":#\})";

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
    const std::string kilobyte(1000, 'x'); // five such lines stay in the 64 KiB buffer
    const std::tuple<std::string, std::string, long long, std::string> cases[] = {
        {"", "tev-framework.log", 40, lines(date + " " + time + " @ \\[t\\] level #")},
        {"Path=app.log;Level=45;FlushLevel=error;Pattern=%l|%n|%v", "app.log", 50, lines("@\\|t\\|level #", 45)},
        {"Path=app.log;Rotation=daily;RotationTime=23:59;Level=warning;FlushLevel=off;Pattern=" + kilobyte + "%v",
         "app_" + date + "\\.log", LLONG_MAX, "(" + lines(kilobyte + "level #", 40) + "){4}"},
        {"Path=app.log;Rotation=hourly;FlushLevel=-7;Pattern=%v", "app_" + date + "_[0-9]{2}\\.log", -7,
         lines("level #")},
        // A link (as /dev/stdout to a file) is written as it is, never renamed: read through it and at its target.
        {"Path=link.log;MaxSize=1;FlushLevel=trace;Pattern=%v", "link\\.log target\\.log", -7,
         lines("level #") + lines("level #")},
    };
    for (const auto& [settings, names, firstOut, text] : cases) {
        if (settings.find("link.log") != std::string::npos)
            fs::create_symlink("target.log", "link.log");
        const auto properties = set("File", settings);
        LoggerBackend* backend = Logger::installBackend("file");
        LoggingChannel* channel = backend->createChannel("t");
        channel->release();
        EXPECT_EQ(backend->createChannel("t"), channel) << "one channel per logger, kept after its release";
        logLevels([&, firstOut = firstOut, settings = settings](int level) {
            EXPECT_EQ(files().begin()->second.empty(), level < firstOut) << settings << ", after level " << level;
        });
        if (firstOut == LLONG_MAX) { // a child's copy, the lines kept at exit() and those an older exit handler logs
            EXPECT_EXIT((resetLogging(), std::atexit([] { logLevels(); }), Logger::installBackend("file"), logLevels(),
                         Logger::unloadLoggingChannels(false), std::exit(0)),
                        ::testing::ExitedWithCode(0), "");
        }
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

// What the console backend with `settings` writes to `fd` while `log` (or logLevels()) runs.
std::string console(const char* settings, int fd, const std::function<void()>& log = nullptr)
{
    const auto properties = set("Console", settings);
    FILE* out = std::tmpfile();
    std::fflush(nullptr);
    const int saved = dup(fd);
    dup2(fileno(out), fd);
    Logger::installBackend("console");
    log ? log() : logLevels();
    Logger::closeAllLoggers();
    std::fflush(nullptr);
    dup2(saved, fd), close(saved);
    std::string text(1 << 20, '\0');
    text.resize(static_cast<std::size_t>(std::max<ssize_t>(pread(fileno(out), text.data(), text.size(), 0), 0)));
    std::fclose(out);
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
        {"Format=json;Stream=stderr;Level=info;Colour=auto", 2, lines(json, 20)},
    };
    for (const auto& [settings, fd, text] : cases)
        EXPECT_THAT(console(settings, fd), MatchesRegex(text)) << settings;
}

// Hostile messages through both backends in JSON lines, read back by jq and by nlohmann-json's parser (which
// refuses invalid UTF-8): one object a line, the message as logged, each maximal ill-formed UTF-8 subpart as U+FFFD.
TEST_F(Backends, JsonLinesReadBackAsLoggedByJqAndAStrictParser)
{
    const std::string r = "\xef\xbf\xbd", controls = "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10"
                                                     "\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f\x7f";
    // The message; what reads back, where it differs (the last, Unicode's own example).
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"\"quoted\" \\back\\slashed\\ / \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xef\xbf\xbf \xf4\x8f\xbf\xbf", ""},
        {controls + "line\nfeeds\n", ""},
        {std::string(1 << 16, 'x'), ""},
        {"\xc0\xaf \xe0\x80\xaf \xf0\x80\x80\xaf", r + r + " " + r + r + r + " " + r + r + r + r}, // overlong
        {"\xed\xa0\x80 \xf4\x90\x80\x80", r + r + r + " " + r + r + r + r}, // a surrogate, beyond U+10FFFF
        {"\xe2\x82 \xf0\x9f\x98", r + " " + r},                             // truncated
        {"\x61\xf1\x80\x80\xe1\x80\xc2\x62\x80\x63\x80\xbf\x64", "a" + r + r + r + "b" + r + "c" + r + r + "d"},
    };
    // A child forked before its first JSON line, from a thread whose id spdlog kept from a text line: its own id.
    const std::string parentsThread = "\"process.thread.id\":" + std::to_string(gettid()) + ",";
    console("", 1);
    EXPECT_EXIT(
        {
            const std::string text = console("Format=json", 1);
            _exit(text.empty() || text.find(parentsThread) != std::string::npos);
        },
        ::testing::ExitedWithCode(0), "");
    std::string expected; // each message read back, followed by a NUL
    for (const auto& [logged, readBack] : cases)
        expected += (readBack.empty() ? logged : readBack) + '\0';
    const std::time_t start = std::time(nullptr);
    const auto properties = set("File", "Path=app.log;Format=json;FlushLevel=trace"); // nothing left to flush at a fork
    Logger::installBackend("file");
    const auto log = [&](std::size_t i) { LogStream(Logger::getLogger("t"), LevelInfo) << cases[i].first; };
    const std::string fromConsole = console("Format=json", 1, [&] {
        for (std::size_t i = 0; i + 1 < std::size(cases); ++i)
            log(i);
        // The last from a forked child, whose line carries its own process and thread ids.
        EXPECT_EXIT((log(std::size(cases) - 1), _exit(0)), ::testing::ExitedWithCode(0), "");
    });
    for (const std::string& text : {fromConsole, files()["app.log"]}) {
        std::ofstream("lines.json") << text;
        EXPECT_EQ(std::system("jq -e -j '.message, \"\\u0000\"' lines.json >read"), 0) << "jq's status";
        EXPECT_EQ(files()["read"], expected) << "as jq reads them";
        std::string read;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            const nlohmann::json object = nlohmann::json::parse(line);
            read += object.at("message").get<std::string>() + '\0';
            EXPECT_EQ(object.at("process.pid") != getpid(), read == expected) << "the last line, the forked child's";
            EXPECT_EQ(object.at("process.thread.id"), object.at("process.pid")) << "logged from a main thread";
            std::tm utc{};
            std::istringstream(object.at("@timestamp").get<std::string>()) >> std::get_time(&utc, "%Y-%m-%dT%H:%M:%S");
            EXPECT_TRUE(timegm(&utc) >= start && timegm(&utc) <= std::time(nullptr)) << object.at("@timestamp");
        }
        EXPECT_EQ(read, expected) << "as nlohmann-json reads them";
    }
}

// In a child whose /dev/log is a socket of the test's own: logs each level through the syslog
// backend of `folder` with `settings`, then writes each message that arrived, one a line, to
// standard error. With settings "!", the socket is closed before, as when the daemon ended: the
// backend's refusal is written.
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
    if (settings[0] == '!')
        close(log);
    const auto properties = set("Syslog", settings + (settings[0] == '!'));
    try {
        Logger::installBackend((folder / "syslog").c_str());
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        _exit(0);
    }
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
        {"!", "No system log listens on /dev/log \\(no daemon .*\\): the syslog backend would send every line "
              "nowhere\n"},
    };
    for (const auto& [settings, text] : cases)
        EXPECT_EXIT(logToOwnSystemLog(settings, folder), ::testing::ExitedWithCode(0), MatchesRegex(text));
}

// In a child with a root of its own ("/" over a private /dev: no mount reaches the machine's, from a
// chroot too), tmpfs /run and /var/log, and a systemd-journald there: logs the levels, then from a
// thread two lines and bytes that are no UTF-8 at 1000, through the journal backend with `settings`;
// writes its entries, read by `journalctl -o json`, to standard error. "!": no journal, "~": one
// stopped while the levels are logged, before and after the thread.
[[noreturn]] void logToOwnJournal(const char* settings, const fs::path& folder)
{
    const char* control = "/run/systemd/journal/io.systemd.journal"; // the last socket it makes
    pid_t journald = 0;
    std::error_code error;
    const auto start = [&] { // its own messages nowhere, not in the machine's kernel log; the audit as it is
        if ((journald = fork()) == 0)
            setenv("SYSTEMD_LOG_TARGET", "null", 1), prctl(PR_SET_PDEATHSIG, SIGKILL),
                execl("/lib/systemd/systemd-journald", "systemd-journald", nullptr), _exit(127);
        for (int tries = 0; tries < 500 && !fs::exists(control); ++tries)
            usleep(10000);
    };
    const auto stop = [&] { // once it wrote what it was sent
        std::system("journalctl --sync"), kill(journald, SIGTERM), waitpid(journald, nullptr, 0), unlink(control);
    };
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/dev", nullptr, MS_PRIVATE, nullptr) != 0 ||
        mount("/", "/dev", nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
        mount(nullptr, "/dev", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || chroot("/dev") != 0 || chdir("/") != 0 ||
        mount("tmpfs", "/run", "tmpfs", 0, nullptr) != 0 || mount("tmpfs", "/var/log", "tmpfs", 0, nullptr) != 0 ||
        // journald needs a cgroup tree, which a container may not have mounted
        (fs::is_empty("/sys/fs/cgroup", error) && mount("cgroup2", "/sys/fs/cgroup", "cgroup2", 0, nullptr) != 0) ||
        !fs::create_directories("/run/systemd/journald.conf.d") || // settings read after any other
        !(std::ofstream("/run/systemd/journald.conf.d/~.conf") << "[Journal]\nStorage=volatile\nReadKMsg=no\nAudit=")) {
        std::fprintf(stderr, "no journal of our own: %s\n", std::strerror(errno));
        _exit(1);
    }
    if (settings[0] != '!' && settings[0] != '#')
        start();
    const auto properties = set("Journal", settings + (settings[0] == '!' || settings[0] == '~' || settings[0] == '#'));
    if (settings[0] == '#') // a journal that cannot be reached for another reason than none listening
        symlink("journal", "/run/systemd/journal");
    try {
        Logger::installBackend((folder / "journal").c_str());
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        _exit(0);
    }
    settings[0] == '~' ? (stop(), logLevels(), start()) : logLevels();
    std::thread([] {
        for (const char* message : {"two\nlines", "no \xff\xfe"})
            LogStream(Logger::getLogger("u"), static_cast<LoggingLevel>(1000)) << message;
    }).join();
    stop(), settings[0] == '~' ? logLevels() : void(), Logger::closeAllLoggers();
    const std::string pid = std::to_string(getpid());
    _exit(std::system(("journalctl -D /run/log/journal -o json _PID=" + pid + " | jq -r --arg pid " + pid +
                       R"jq( '"\(.MESSAGE | tojson) \(.PRIORITY) \(.SYSLOG_IDENTIFIER) \(.TEV_LOGGER) \(.TEV_LEVEL) )jq"
                       R"jq(\(.TID == $pid) \([keys[] | select(test("^[A-Z]"))] | length)"' >&2)jq")
                          .c_str()) != 0);
}

TEST_F(Backends, JournalSendsWhatItsSettingsSay)
{
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
    if (unshare(CLONE_NEWNS) != 0 || !fs::exists("/lib/systemd/systemd-journald")) {
        ASSERT_STRNE(std::getenv("CI"), "true") << "CI runs this test, here it cannot: " << std::strerror(errno);
        GTEST_SKIP() << "no mount namespace of our own (needs root) or no systemd-journald: " << std::strerror(errno);
    }
    // Entries as jq shows them: message, priority, ident, logger, level, whether the thread is the
    // main one (its id the process's), how many fields besides journald's; the levels' from `least`.
    const auto entries = [](const std::string& ident, long long least) {
        return lines("\"level #\" & " + ident + " t # true 6", least, 0) + "\"two\\\\nlines\" 2 " + ident +
               " u 1000 false 6\n\\[110,111,32,255,254\\] 2 " + ident + " u 1000 false 6\n";
    };
    const std::string program = program_invocation_short_name,
                      refused = "journal backend: the journal refused a line \\(Connection refused\\)[^\n]*\n",
                      lost = "journal backend: lines lost while the journal refused them \\(Connection refused\\): 1";
    const std::pair<const char*, std::string> cases[] = {
        {"", entries(program, INT_MIN)},
        {"Ident=tev-ident;Level=39", entries("tev-ident", 39)},
        {"~Level=1000", refused + refused + lost + "\n\"" + lost + "\" 4 " + program + " null null false 3\n" +
                            entries(program, LLONG_MAX)},
        {"!", "No journal listens on /run/systemd/journal/socket \\(no systemd-journald runs here\\): the journal "
              "backend would send every line nowhere\n"},
        {"#", "Cannot reach the journal on /run/systemd/journal/socket: Too many levels of symbolic links\n"},
    };
    for (const auto& [settings, text] : cases)
        EXPECT_EXIT(logToOwnJournal(settings, folder), ::testing::ExitedWithCode(0), MatchesRegex(text)) << settings;
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
    fs::create_directory("logs"), fs::create_directory_symlink("logs", "linked"), mkfifo("pipe", 0600);
    set("File", "Path=logs/held.log"), Logger::loadBackend("file"); // held until the loggers are closed
    fs::create_hard_link("logs/held.log", "logs/hard.log");
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
         {"Path=logs/../logs/held.log", "Path=linked/held.log"},
         "another file backend of this process writes " + (dir / "logs/held.log").string()},
        {"File",
         {"Path=logs/hard.log"},
         "another file backend of this process writes " + (dir / "logs/hard.log").string()},
        {"File",
         {"Path=pipe"},
         "Failed opening file " + (dir / "pipe").string() + " for writing: no process reads the pipe"},
        {"File",
         {"Path=newdir/", "Rotation=hourly;Path=logs", "Rotation=daily;Path=newdir/.", "Path=newdir/.."},
         "it names a folder"},
        {"File", {"Rotation=weekly"}, "one of size, daily, hourly is expected"},
        {"File", {"Format=JSON"}, "one of text, json is expected"},
        {"Console",
         {"Format=json;Colour=always", "Format=json;Pattern=%v"},
         "JSON lines have no pattern and no colours"},
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
        {"Journal", {"Level=warn"}, level},
        // A name the backend does not know, misspelt or in another case, is refused, named.
        {"Console",
         {"Levle=info", "level=info", "Stream.=stderr"},
         " is not a setting of the backend: its settings are "
         "Level, FlushLevel, Pattern, Format, Stream, Colour"},
        {"File",
         {"Path=a.log;MaxSize=9;Maxfiles=2"},
         " is not a setting of the backend: its settings are Level, "
         "FlushLevel, Pattern, Format, Path, Rotation, MaxSize, MaxFiles, RotationTime"},
        {"Syslog",
         {"Facility=user;=x", "Format=json"},
         " is not a setting of the backend: its settings are Level, FlushLevel, "
         "Pattern, Ident, Facility"},
        {"Journal", {"Ident=x;Pattern=%v"}, " is not a setting of the backend: its settings are Level, Ident"},
        {"console", {"Level=info"}, " is not a setting of the backend: its settings begin with Tev.Backend.Console."},
    };
    for (const auto& [backend, tried, why] : cases)
        for (const std::string& settings : tried) {
            const auto properties = set(backend, settings);
            std::string library = backend, refused = settings.substr(settings.find_last_of(';') + 1);
            library[0] = static_cast<char>(std::tolower(library[0]));
            std::replace_if(
                refused.begin(), refused.end(), [](char c) { return c < ' ' || c == '\x7f'; }, '?');
            if (why[0] == ' ') // the name refused
                refused.erase(refused.find('=')).append(why);
            else
                refused.replace(refused.find('='), 1, " has the bad value '").append("': " + why);
            EXPECT_THAT(
                [&] { Logger::loadBackend(library.c_str()); },
                ::testing::ThrowsMessage<std::invalid_argument>("Property Tev.Backend." + backend + "." + refused));
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
    fs::remove("pipe"); // read by files(), it would wait for a writer
    EXPECT_THAT(files(),
                ::testing::ElementsAre(::testing::Key("gone"), ::testing::Key("linked"), ::testing::Key("logs")))
        << "every setting is read and the file opened before anything is left";
}

} // namespace
