// Runs crisis-log steps in a process of its own, one output line per step, so that
// the tests can see what another process sees:
//   open       CrisisLogger::instance(): "open: ok" or how it failed
//   log:TEXT   instance().log(TEXT)
//   mkdir      makes a directory at the log path; rmdir removes it
//   seed:TEXT  appends TEXT and a newline to the log file, without the logger
//   mode       the file's permission bits in octal
//   cat        "cat: LINE" for each line of the file
//   hold       starts another probe that opens the log and keeps it until release
#include "Tev/Framework/CrisisLogging/CrisisLogger.h"
#include "Tev/Framework/Exceptions/FrameworkException.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

namespace {

using Tev::Framework::CrisisLogging::CrisisLogger;
using Tev::Framework::Exceptions::FrameworkException;

const char* const logPath = "/var/tmp/tev.log";

pid_t holder = -1;
int holderInput = -1;
int holderOutput = -1;

const char* outcome(bool ok) { return ok ? "ok" : "failed"; }

// Starts "crisis_probe open wait" with its stdin and stdout on pipes and relays its
// first line, so that the holder has the file when this returns.
std::string hold()
{
    int input[2];
    int output[2];
    if (::pipe(input) != 0 || ::pipe(output) != 0)
        return "pipe failed";
    std::cout.flush();
    holder = ::fork();
    if (holder == 0) {
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::close(input[1]);
        ::close(output[0]);
        ::execl("/proc/self/exe", "crisis_probe", "open", "wait", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    holderInput = input[1];
    holderOutput = output[0];
    std::string line;
    char c;
    while (::read(holderOutput, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

std::string release()
{
    ::close(holderInput);
    char c;
    while (::read(holderOutput, &c, 1) == 1) {
    }
    ::close(holderOutput);
    int status = 0;
    return outcome(::waitpid(holder, &status, 0) == holder && WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::string run(const std::string& step)
{
    if (step == "open") {
        try {
            CrisisLogger::instance();
            return "ok";
        } catch (const std::exception& error) {
            return std::string("std::exception: ") + error.what();
        } catch (const FrameworkException& error) {
            return std::string("FrameworkException: ") + error.message();
        }
    }
    if (step.rfind("log:", 0) == 0) {
        CrisisLogger::instance().log(step.c_str() + 4);
        return "ok";
    }
    if (step == "wait") {
        char c;
        while (::read(STDIN_FILENO, &c, 1) > 0) {
        }
        return "ok";
    }
    if (step == "mkdir")
        return outcome(::mkdir(logPath, 0700) == 0);
    if (step == "rmdir")
        return outcome(::rmdir(logPath) == 0);
    if (step.rfind("seed:", 0) == 0) {
        std::ofstream(logPath, std::ios::app) << step.substr(5) << '\n';
        return "ok";
    }
    if (step == "mode") {
        struct stat status {};
        char octal[8];
        std::snprintf(octal, sizeof octal, "%o", ::stat(logPath, &status) == 0 ? status.st_mode & 07777U : 0U);
        return octal;
    }
    if (step == "cat") {
        std::ifstream in(logPath);
        std::string text;
        for (std::string line; std::getline(in, line);)
            text += (text.empty() ? "" : "\ncat: ") + line;
        return text;
    }
    if (step == "hold")
        return hold();
    if (step == "release")
        return release();
    return "unknown step";
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        const std::string name = step.substr(0, step.find(':'));
        try {
            std::cout << name << ": " << run(step) << std::endl;
        } catch (...) {
            std::cout << name << ": unexpected exception" << std::endl;
        }
    }
    return 0;
}
