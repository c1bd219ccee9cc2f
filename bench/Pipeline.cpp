#include "Pipeline.h"

#include "Support.h"

#include "Tev/Framework/Framework.h"
#include "Tev/Framework/GenericLogger/Logger.h"
#include "Tev/Framework/Management/PropertyManager.h"

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>
#ifdef TEV_BENCH_JOURNAL
#  include <spdlog/sinks/systemd_sink.h>
#endif

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace TevBench {

namespace {

using namespace Tev::Framework::GenericLogger;
namespace fs = std::filesystem;

// The backend's defaults, given to spdlog too: files of 10 MiB, 3 kept besides the current one.
constexpr std::size_t rotationSize = 10 * 1024 * 1024;
constexpr std::size_t rotatedFiles = 3;

// The usual recipe for JSON from spdlog: a pattern that looks like it, in UTC, which escapes
// nothing. Its keys and values are those of the backend's JSON lines, so that both write the
// same bytes for the same message; spdlog knows no level number, so the key has info's.
std::string jsonPattern(const std::string& processId)
{
    return R"({"@timestamp":"%Y-%m-%dT%H:%M:%S.%eZ","log.level":"%l","message":"%v","log.logger":"%n",)"
           R"("process.pid":)" +
           processId + R"(,"process.thread.id":%t,"ecs.version":"8.11.0","tev.level":20})";
}

// A logger at info into spdlog's rotating file sink at `path`, as rotating_logger_mt() makes
// it but for spdlog's registry (so that two can have the name of ours), flushed at warning and
// above as the backend by default, its lines by `pattern` in UTC.
std::shared_ptr<spdlog::logger> spdlogRotatingFile(const std::string& name, const fs::path& path,
                                                   const std::string& pattern)
{
    auto logger = std::make_shared<spdlog::logger>(
        name, std::make_shared<spdlog::sinks::rotating_file_sink_mt>(path.string(), rotationSize, rotatedFiles));
    logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(pattern, spdlog::pattern_time_type::utc));
    logger->set_level(spdlog::level::info);
    logger->flush_on(spdlog::level::warn);
    return logger;
}

// Undoes what a scenario left: its loggers, and the backends it loaded, whatever happened.
struct ClosedLoggers {
    ~ClosedLoggers()
    {
        try {
            Logger::closeAllLoggers();
        } catch (...) {}
    }
};

std::wstring wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// The bundled backend 'file' writing `format` lines to `path`, loaded and not installed.
LoggerBackend* fileBackend(const char* format, const fs::path& path)
{
    Tev::Framework::Management::PropertyManager* properties = Tev::Framework::Framework::propertyManager();
    properties->setProperty(L"Tev.Backend.File.Path", wide(path.string()));
    properties->setProperty(L"Tev.Backend.File.Format", wide(format));
    const auto clear = [properties] {
        properties->clearProperty(L"Tev.Backend.File.Path");
        properties->clearProperty(L"Tev.Backend.File.Format");
    };
    try {
        LoggerBackend* backend = Logger::loadBackend("file");
        clear();
        return backend;
    } catch (...) {
        clear();
        throw;
    }
}

// Why `error` stopped a scenario, on one line.
std::string oneLine(const std::string& what, const std::exception& error)
{
    std::string why = what + " (" + error.what() + ")";
    std::replace(why.begin(), why.end(), '\n', ' ');
    return why;
}

} // namespace

std::string measureJsonLines(Series& series)
{
    // Short rounds, as for scenario 11: each message ends in a write to a file.
    constexpr int messagesPerRound = 10000;
    TemporaryDirectory directory;
    ClosedLoggers closedLoggers;
    Logger::closeAllLoggers();
    uninstallNullBackend();
    LoggerBackend* text = nullptr;
    LoggerBackend* json = nullptr;
    try {
        text = fileBackend("text", directory.path() / "text.log");
        json = fileBackend("json", directory.path() / "json.log");
    } catch (const std::exception& error) {
        return oneLine("no backend 'file' writing JSON lines here", error);
    }
    if (text == nullptr || json == nullptr)
        return "the backend 'file' offers no backend object";
    Logger* logger = Logger::getLogger("bench.12");

    const auto peer = spdlogRotatingFile("bench.12", directory.path() / "spdlog.log", jsonPattern("%P"));
    // The same with the process id written into the pattern: %P asks the system on every line.
    const auto fixedPid =
        spdlogRotatingFile("bench.12", directory.path() / "spdlog-pid.log", jsonPattern(std::to_string(::getpid())));

    int next = 0;
    // Only the backend of the side gives the logger a channel: installing one rebuilds the
    // loggers' channels from the installed backends.
    const auto runOurs = [&](LoggerBackend* backend, const char* name) {
        Logger::installBackend(backend);
        series[name].push_back(timeLoop(
            messagesPerRound, [&](int) { LogStream(logger, LevelInfo) << "Hello logger: msg number " << next++; }));
        Logger::uninstallBackend(backend);
    };
    const auto runText = [&] { runOurs(text, "ours/12_text_lines"); };
    const auto runPeer = [&](spdlog::logger& logger, const char* name) {
        series[name].push_back(
            timeLoop(messagesPerRound, [&](int) { logger.info("Hello logger: msg number {}", next++); }));
    };
    const auto runSpdlog = [&] { runPeer(*peer, "peer/13_spdlog_json_pattern"); };
    // JSON lines between text lines and spdlog's; every other round the other way round.
    for (int round = 0; round < shortRounds; ++round) {
        if (round % 2 == 0)
            runPeer(*fixedPid, "peer/13_spdlog_json_pattern_fixed_pid");
        round % 2 == 0 ? runText() : runSpdlog();
        runOurs(json, "ours/12_json_lines");
        round % 2 == 0 ? runSpdlog() : runText();
        if (round % 2 != 0)
            runPeer(*fixedPid, "peer/13_spdlog_json_pattern_fixed_pid");
    }
    return {};
}

#ifdef TEV_BENCH_JOURNAL

namespace {

constexpr const char* journaldProgram = "/lib/systemd/systemd-journald";
// The last socket that systemd-journald makes, once it listens on the others.
constexpr const char* journalControl = "/run/systemd/journal/io.systemd.journal";

// Gives this process a root of its own, as the journal backend's test does: "/" bound over a
// private /dev in a mount namespace of its own (so that no mount reaches the machine's, from a
// chroot too), with tmpfs /run and /var/log, and settings for a systemd-journald that keeps its
// entries in memory, reads no kernel log and drops no line for coming too fast. Returns why
// not, or nothing.
std::string ownJournalRoot()
{
    const auto failed = [](const std::string& what) { return what + ": " + std::strerror(errno); };
    if (::unshare(CLONE_NEWNS) != 0)
        return failed("no mount namespace of its own");
    if (::mount(nullptr, "/dev", nullptr, MS_PRIVATE, nullptr) != 0 ||
        ::mount("/", "/dev", nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
        ::mount(nullptr, "/dev", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || ::chroot("/dev") != 0 ||
        ::chdir("/") != 0)
        return failed("no root of its own");
    if (::mount("tmpfs", "/run", "tmpfs", 0, nullptr) != 0 || ::mount("tmpfs", "/var/log", "tmpfs", 0, nullptr) != 0)
        return failed("no /run and /var/log of its own");
    std::error_code error;
    fs::create_directories("/run/systemd/journald.conf.d", error); // read after any other settings
    if (!(std::ofstream("/run/systemd/journald.conf.d/~.conf")
          << "[Journal]\nStorage=volatile\nReadKMsg=no\nAudit=\nRateLimitIntervalSec=0\n"))
        return "no settings for systemd-journald in /run";
    return {};
}

// Starts systemd-journald, its own messages nowhere, killed if this process ends first;
// returns its process, or 0 when it did not come to listen.
pid_t startJournald()
{
    const pid_t journald = ::fork();
    if (journald == 0) {
        ::setenv("SYSTEMD_LOG_TARGET", "null", 1);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::execl(journaldProgram, "systemd-journald", nullptr);
        ::_exit(127);
    }
    for (int tries = 0; journald > 0 && tries < 500 && !fs::exists(journalControl); ++tries)
        ::usleep(10000);
    if (journald > 0 && fs::exists(journalControl))
        return journald;
    if (journald > 0)
        ::kill(journald, SIGKILL), ::waitpid(journald, nullptr, 0);
    return 0;
}

// Returns once systemd-journald wrote every entry it was sent.
void syncJournal()
{
    if (std::system("journalctl --sync") != 0) // NOLINT(cert-env33-c): the journal's own tool, a fixed line
        throw std::runtime_error("journalctl --sync failed");
}

// Scenario 14's rounds, into `figures`, with a systemd-journald listening. Returns why it was
// skipped, or nothing.
std::string journalRounds(Series& figures)
{
    // Short rounds: the journal's pace follows the machine's load as a file's does. Each
    // side's entries are written before the next side starts, outside its time.
    constexpr int messagesPerRound = 1000;
    ClosedLoggers closedLoggers;
    Logger::closeAllLoggers();
    uninstallNullBackend();
    try {
        if (Logger::installBackend("journal") == nullptr)
            return "the backend 'journal' offers no backend object";
    } catch (const std::exception& error) {
        return oneLine("no backend 'journal' here", error);
    }
    Logger* logger = Logger::getLogger("bench.14");
    // The identifier that the backend sends by default, the program's name.
    spdlog::logger peer("bench.14", std::make_shared<spdlog::sinks::systemd_sink_mt>(program_invocation_short_name));
    peer.set_level(spdlog::level::info);
    int next = 0;
    const auto runOurs = [&] {
        figures["ours/14_journal"].push_back(timeLoop(
            messagesPerRound, [&](int) { LogStream(logger, LevelInfo) << "Hello logger: msg number " << next++; }));
        syncJournal();
    };
    const auto runPeer = [&] {
        figures["peer/14_spdlog_systemd_sink"].push_back(
            timeLoop(messagesPerRound, [&](int) { peer.info("Hello logger: msg number {}", next++); }));
        syncJournal();
    };
    runOurs(), runPeer(), figures.clear(); // warm-up
    // Every other round the other way round, as for the other scenarios.
    for (int round = 0; round < shortRounds; ++round)
        round % 2 == 0 ? (runOurs(), runPeer()) : (runPeer(), runOurs());
    return {};
}

// In the child: scenario 14 with a systemd-journald of its own, stopped before it returns;
// writes the figures to `out` as "<series> <figure>" lines, or "skipped <why>".
void journalChild(std::FILE* out)
{
    std::string why = ownJournalRoot();
    const pid_t journald = why.empty() ? startJournald() : 0;
    if (why.empty() && journald == 0)
        why = std::string(journaldProgram) + " did not come to listen";
    Series figures;
    if (why.empty()) {
        try {
            why = journalRounds(figures);
        } catch (const std::exception& error) {
            why = oneLine("the journal scenario failed", error);
        }
        ::kill(journald, SIGTERM);
        ::waitpid(journald, nullptr, 0);
    }
    if (!why.empty())
        std::fprintf(out, "skipped %s\n", why.c_str());
    else
        for (const auto& [name, values] : figures)
            for (double value : values)
                std::fprintf(out, "%s %.17g\n", name.c_str(), value);
}

} // namespace

std::string measureJournal(Series& series)
{
    if (::geteuid() != 0)
        return "not root, so no systemd-journald of its own";
    if (::access(journaldProgram, X_OK) != 0)
        return std::string("no ") + journaldProgram + " (Debian: systemd)";
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return std::string("no pipe: ") + std::strerror(errno);
    std::fflush(nullptr); // nothing buffered twice
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        std::FILE* out = ::fdopen(pipe[1], "w");
        if (out != nullptr)
            journalChild(out), std::fclose(out);
        ::_exit(0);
    }
    ::close(pipe[1]);
    if (child < 0)
        return ::close(pipe[0]), std::string("no child process: ") + std::strerror(errno);
    std::string skipped;
    std::FILE* in = ::fdopen(pipe[0], "r");
    char line[1024];
    while (in != nullptr && std::fgets(line, sizeof line, in) != nullptr) {
        line[std::strcspn(line, "\n")] = '\0';
        char* space = std::strchr(line, ' ');
        if (space == nullptr)
            continue;
        *space = '\0';
        if (std::strcmp(line, "skipped") == 0)
            skipped = space + 1;
        else
            series[line].push_back(std::strtod(space + 1, nullptr));
    }
    in != nullptr ? std::fclose(in) : ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (skipped.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        skipped = "the child measuring it ended abnormally";
    return skipped;
}

#else

std::string measureJournal(Series&)
{
    return "built without libsystemd (Debian: libsystemd-dev), so without spdlog's systemd sink";
}

#endif

std::vector<Comparison> pipelineComparisons()
{
    return {
        {"12",
         "JSON lines through the bundled backend 'file' (Format=json) vs its text lines, files of 10 MiB",
         "ours/12_json_lines",
         {{"text lines", "ours/12_text_lines"}},
         1.3,
         false},
        {"13",
         "JSON lines through the bundled backend 'file' vs spdlog rotating_file_sink_mt with a pattern that looks "
         "like JSON and escapes nothing, files of 10 MiB",
         "ours/12_json_lines",
         {{"spdlog", "peer/13_spdlog_json_pattern"}},
         1.2,
         false},
        {"13i",
         "as 13, but spdlog's pattern has the process id written in, instead of %P",
         "ours/12_json_lines",
         {{"spdlog, process id in the pattern", "peer/13_spdlog_json_pattern_fixed_pid"}},
         0,
         false,
         1,
         1,
         "ns",
         Against::information,
         "not the usual recipe: %P asks the system for the process id on every line"},
        {"14",
         "a message through the bundled backend 'journal' vs spdlog systemd_sink_mt, both to one systemd-journald "
         "of our own",
         "ours/14_journal",
         {{"spdlog", "peer/14_spdlog_systemd_sink"}},
         1.05,
         false},
    };
}

} // namespace TevBench
