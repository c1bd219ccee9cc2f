// Other processes and the crisis log, seen through crisis_probe (see CrisisProbe.cpp).
#include "Tev/Framework/CrisisLogging/CrisisLogger.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using Tev::Framework::CrisisLogging::CrisisLogger;

const std::string refusal = "FrameworkException: Error opening log file: '/var/tmp/tev.log'";
const std::string refusalPattern = R"(FrameworkException: Error opening log file: '/var/tmp/tev\.log')";
const std::string stamp = R"(\d\d:\d\d:\d\d\.\d\d\d)";
constexpr int cannotIsolate = 77;

struct ProbeRun {
    bool started = false;
    bool notIsolated = false; // a private /var/tmp was asked for but not allowed
    int exitCode = -1;
    std::string output;
};

// Runs the probe with `steps` and collects what it prints. With privateVarTmp it runs in
// a mount namespace of its own on an empty /var/tmp, so that the real log is neither
// seen nor touched.
ProbeRun runProbe(const std::vector<std::string>& steps, bool privateVarTmp)
{
    std::vector<char*> argv{const_cast<char*>(TEV_CRISIS_PROBE)};
    for (const std::string& step : steps)
        argv.push_back(const_cast<char*>(step.c_str()));
    argv.push_back(nullptr);

    ProbeRun run;
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0)
        return run;
    const pid_t child = ::fork();
    if (child == 0) {
        if (privateVarTmp && (::unshare(CLONE_NEWNS) != 0 ||
                              ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                              ::mount("tmpfs", "/var/tmp", "tmpfs", 0, "mode=1777") != 0))
            ::_exit(cannotIsolate);
        ::dup2(output[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    char buffer[256];
    for (ssize_t n; (n = ::read(output[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<std::size_t>(n));
    ::close(output[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.started = true;
    run.notIsolated = privateVarTmp && run.exitCode == cannotIsolate;
    return run;
}

TEST(CrisisLoggerProcesses, AnotherProcessIsRefusedWhileThisOneHoldsTheFile)
{
    CrisisLogger::instance();
    const ProbeRun run = runProbe({"open", "open"}, false);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "open: " + refusal + "\nopen: " + refusal + "\n");
}

TEST(CrisisLoggerProcesses, FailedOpenCreatesNothingAndTheNextCallTriesAgain)
{
    const ProbeRun run = runProbe({"mkdir", "open", "open", "rmdir", "open", "log:after", "mode", "cat"}, true);
    ASSERT_TRUE(run.started);
    if (run.notIsolated)
        GTEST_SKIP() << "no private mount namespace here; the refusals are covered on temporary paths";
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(std::regex_match(run.output, std::regex("mkdir: ok\n"
                                                        "open: " + refusalPattern + "\n"
                                                        "open: " + refusalPattern + "\n"
                                                        "rmdir: ok\n"
                                                        "open: ok\n"
                                                        "log: ok\n"
                                                        "mode: 600\n"
                                                        "cat: " + stamp + " - after\n")))
        << run.output;
}

TEST(CrisisLoggerProcesses, HeldFileIsRefusedUntilItsHolderExitsAndEarlierLinesStay)
{
    const ProbeRun run =
        runProbe({"seed:written before", "hold", "open", "release", "open", "log:later", "cat"}, true);
    ASSERT_TRUE(run.started);
    if (run.notIsolated)
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(std::regex_match(run.output, std::regex("seed: ok\n"
                                                        "hold: open: ok\n"
                                                        "open: " + refusalPattern + "\n"
                                                        "release: ok\n"
                                                        "open: ok\n"
                                                        "log: ok\n"
                                                        "cat: written before\n"
                                                        "cat: " + stamp + " - later\n")))
        << run.output;
}

} // namespace
