// Applies sequences of logging calls both to the library and to a small model of its
// rules, and compares after every call what each backend and channel was asked and
// what the call returned. Sequences come from seeds (the test) or from libFuzzer (the
// fuzz target, built from this file with TEV_FUZZ); a divergence is reported with the
// shortest sequence found that still shows it.
#include "Recording.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

#ifndef TEV_FUZZ
#  include <gtest/gtest.h>
#endif

namespace {

using namespace TevTest;

constexpr int backendCount = 3;
const char* const names[] = {"", "a", "A", "ab", "a.b", "b", "Tev.Framework"};
constexpr std::size_t nameCount = sizeof names / sizeof names[0];
const LoggingLevel levels[] = {LevelNone,  LevelDebug,       LevelWarning,          LoggingLevel(49),     LevelError,
                               LevelFatal, LoggingLevel(-5), LoggingLevel(INT_MIN), LoggingLevel(INT_MAX)};
constexpr std::size_t levelCount = sizeof levels / sizeof levels[0];

// Backend b offers no channel to some names.
bool offers(int backend, const std::string& name)
{
    return (name.size() + static_cast<std::size_t>(backend)) % 3 != 0;
}

enum Kind {
    GetLogger,
    Stream,
    DoLog,
    Burst,
    TevLog,
    Threshold,
    Enable,
    IsActive,
    Install,
    Uninstall,
    CloseAll,
    SetUnload,
    kinds
};

struct Op {
    Kind kind;
    std::uint8_t a, b; // what each kind makes of them: see describe()
    std::string name() const { return names[a % nameCount]; }
    LoggingLevel level() const { return levels[b % levelCount]; }
    int backend() const { return b % (backendCount + 1); } // backendCount: none (null)
};

std::string describe(const Op& op, int text)
{
    std::ostringstream out;
    const std::string logger = "getLogger(\"" + op.name() + "\")";
    switch (op.kind) {
    case GetLogger: out << logger; break;
    case Stream: out << "LogStream(" << logger << ", " << op.level() << ") << \"m" << text << "\""; break;
    case DoLog: out << logger << "->do_log(" << op.level() << ", \"m" << text << "\")"; break;
    case Burst: out << (op.b % 64 + 1) << " x LogStream(" << logger << ", 50) << \"m" << text << "...\""; break;
    case TevLog: out << "TEV_LOG(" << logger << ", " << op.level() << ") << \"m" << text << "\""; break;
    case Threshold: out << logger << "->minLogLevel(" << op.level() << ")"; break;
    case Enable: out << logger << "->enableLogging(" << (op.b % 2 == 1) << ")"; break;
    case IsActive: out << logger << "->isLevelActive(" << op.level() << ")"; break;
    case Install: out << "installBackend(B" << op.backend() << ")"; break;
    case Uninstall: out << "uninstallBackend(B" << op.backend() << ")"; break;
    case CloseAll: out << "closeAllLoggers()"; break;
    case SetUnload: out << "unloadLoggingChannels(" << (op.b % 2 == 1) << ")"; break;
    case kinds: break;
    }
    return out.str();
}

// The rules, as the model keeps them. Every call returns what the library should have
// said (a result, or the exception it throws) and adds the events it should have caused.
int overflows = 0; // how often the model saw a cache overflow, over all runs

class Model {
public:
    std::vector<std::string> events;

    std::string apply(const Op& op, int text)
    {
        switch (op.kind) {
        case GetLogger: logger(op.name()); return "";
        case Stream:
            if (op.level() != LevelNone)
                deliver(op.name(), op.level(), text);
            return "";
        case DoLog: deliver(op.name(), op.level(), text); return "";
        case Burst:
            for (int i = 0; i <= op.b % 64; ++i)
                deliver(op.name(), LevelError, text + i);
            return "";
        case TevLog:
            if (op.level() != LevelNone && op.level() >= logger(op.name()).minLevel)
                deliver(op.name(), op.level(), text);
            return "";
        case Threshold: logger(op.name()).minLevel = op.level(); return "";
        case Enable: logger(op.name()).enabled = op.b % 2 == 1; return "";
        case IsActive: return op.level() >= logger(op.name()).minLevel ? "active" : "inactive";
        case Install: return install(op.backend());
        case Uninstall:
            for (auto it = installed_.begin(); it != installed_.end(); ++it)
                if (*it == op.backend()) {
                    installed_.erase(it);
                    break;
                }
            return "";
        case CloseAll:
            if (unload_) {
                for (auto& [name, l] : loggers_)
                    for (const auto& channel : l.channels)
                        events.push_back(channel + " release " + name);
                loggers_.clear();
            }
            return "";
        case SetUnload: unload_ = op.b % 2 == 1; return "";
        case kinds: break;
        }
        return "";
    }

private:
    struct Logger {
        std::vector<std::string> channels;
        std::vector<std::pair<LoggingLevel, std::string>> cache;
        bool overflowed = false;
        LoggingLevel minLevel = LevelError;
        bool enabled = true;
    };

    Logger& logger(const std::string& name)
    {
        const auto found = loggers_.find(name);
        if (found != loggers_.end())
            return found->second;
        Logger& created = loggers_[name];
        rebuild(name, created);
        return created;
    }

    void rebuild(const std::string& name, Logger& l)
    {
        l.channels.clear();
        for (int b : installed_) {
            events.push_back("B" + std::to_string(b) + " create " + name);
            if (offers(b, name))
                l.channels.push_back("B" + std::to_string(b) + "#" + std::to_string(++channelsMade_[b]));
        }
    }

    void log(const std::string& name, const Logger& l, LoggingLevel level, const std::string& text)
    {
        for (const auto& channel : l.channels)
            events.push_back(channel + " log " + name + " " + std::to_string(level) + " " + text);
    }

    void deliver(const std::string& name, LoggingLevel level, int text)
    {
        Logger& l = logger(name);
        const std::string message = "m" + std::to_string(text);
        if (!l.channels.empty() && !installed_.empty() && level != LevelNone) {
            if (l.enabled)
                log(name, l, level, message);
        } else if (!l.overflowed) {
            if (l.cache.size() <= 100) {
                l.cache.emplace_back(level, message);
            } else {
                l.cache.emplace_back(LevelWarning, "LOG Cache overflow...");
                l.overflowed = true;
                ++overflows;
            }
        }
    }

    std::string install(int backend)
    {
        const std::string what = "Exception 'Tev::Framework::GenericLogger::LoggerBackendLoadError' "
                                 "(Tev\\Framework\\GenericLogger\\Logger:";
        if (backend == backendCount)
            return what + "294): Cannot install a NULL backend!";
        for (int b : installed_)
            if (b == backend)
                return what + "301): Cannot install a backend twice!";
        installed_.push_back(backend);
        for (auto& [name, l] : loggers_) {
            rebuild(name, l);
            for (const auto& [level, message] : l.cache)
                log(name, l, level, message);
            l.cache.clear();
            l.overflowed = false;
        }
        return "";
    }

    std::map<std::string, Logger> loggers_;
    std::vector<int> installed_;
    int channelsMade_[backendCount] = {};
    bool unload_ = true;
};

// The same call on the library; returns what it returned or threw.
std::string apply(const Op& op, int text, RecordingBackend* const (&backends)[backendCount])
{
    const std::string message = "m" + std::to_string(text);
    Logger* const logger = Logger::getLogger(op.name().c_str());
    switch (op.kind) {
    case GetLogger: return logger == Logger::getLogger(op.name().c_str()) ? "" : "another logger for the same name";
    case Stream: LogStream(logger, op.level()) << message; return "";
    case DoLog: doLog(logger, op.level(), message.c_str()); return "";
    case Burst:
        for (int i = 0; i <= op.b % 64; ++i)
            LogStream(logger, LevelError) << 'm' << text + i;
        return "";
    case TevLog: TEV_LOG(logger, op.level()) << message; return "";
    case Threshold: logger->minLogLevel(op.level()); return "";
    case Enable: logger->enableLogging(op.b % 2 == 1); return "";
    case IsActive: return logger->isLevelActive(op.level()) ? "active" : "inactive";
    case Install: try { Logger::installBackend(op.backend() == backendCount ? nullptr : backends[op.backend()]);
        } catch (const LoggerException& e) {
            return e.what();
        }
        return "";
    case Uninstall:
        Logger::uninstallBackend(op.backend() == backendCount ? nullptr : backends[op.backend()]);
        return "";
    case CloseAll: Logger::closeAllLoggers(); return "";
    case SetUnload: Logger::unloadLoggingChannels(op.b % 2 == 1); return "";
    case kinds: break;
    }
    return "";
}

// Runs `ops` on a clean library and on the model; the first divergence, or "".
std::string divergence(const std::vector<Op>& ops)
{
    Journal journal;
    RecordingBackend backends[backendCount] = {{"B0", journal}, {"B1", journal}, {"B2", journal}};
    RecordingBackend* const pointers[backendCount] = {&backends[0], &backends[1], &backends[2]};
    for (int b = 0; b < backendCount; ++b)
        backends[b].offers = [b](const std::string& name) { return offers(b, name); };
    resetLogging();
    Model model;
    std::string found;
    for (std::size_t i = 0; i < ops.size() && found.empty(); ++i) {
        const int text = static_cast<int>(i) * 100;
        // The model creates the logger that every call of the library starts with.
        model.apply(Op{GetLogger, ops[i].a, 0}, text);
        const std::string expected = model.apply(ops[i], text);
        const std::string actual = apply(ops[i], text, pointers);
        const std::vector<std::string> events = journal.take();
        if (actual != expected)
            found = "returned \"" + actual + "\", expected \"" + expected + "\"";
        else if (events != model.events) {
            std::ostringstream out;
            out << "events differ\n  library:";
            for (const auto& e : events)
                out << "\n    " << e;
            out << "\n  model:";
            for (const auto& e : model.events)
                out << "\n    " << e;
            found = out.str();
        }
        model.events.clear();
    }
    resetLogging({pointers[0], pointers[1], pointers[2]});
    journal.take();
    return found;
}

// Three bytes a call. Messages come more often than the calls that empty caches, so
// that caches fill up and overflow.
std::vector<Op> decode(const std::uint8_t* data, std::size_t size)
{
    static const Kind weighted[] = {GetLogger, Stream,   Stream,  Stream,    DoLog,    DoLog,
                                    Burst,     Burst,    Burst,   TevLog,    TevLog,   Threshold,
                                    Enable,    IsActive, Install, Uninstall, CloseAll, SetUnload};
    std::vector<Op> ops;
    for (std::size_t i = 0; i + 3 <= size; i += 3)
        ops.push_back(Op{weighted[data[i] % (sizeof weighted / sizeof weighted[0])], data[i + 1], data[i + 2]});
    return ops;
}

// Drops calls one at a time as long as the divergence stays; prints what is left.
std::string shortestReport(std::vector<Op> ops)
{
    for (std::size_t i = ops.size(); i-- > 0;) {
        std::vector<Op> shorter;
        for (std::size_t j = 0; j < ops.size(); ++j)
            if (j != i)
                shorter.push_back(ops[j]);
        if (!divergence(shorter).empty())
            ops = shorter;
    }
    std::ostringstream out;
    out << "the library and the model disagree after these calls:\n";
    for (std::size_t i = 0; i < ops.size(); ++i)
        out << "  " << describe(ops[i], static_cast<int>(i) * 100) << "\n";
    out << divergence(ops) << "\n";
    return out.str();
}

} // namespace

#ifdef TEV_FUZZ
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<Op> ops = decode(data, std::min<std::size_t>(size, 3 * 400));
    if (!divergence(ops).empty()) {
        std::fputs(shortestReport(ops).c_str(), stderr);
        std::abort();
    }
    return 0;
}
#else
TEST(LoggingModel, AgreesWithTheLibraryOnSeededSequences)
{
    const unsigned seeds = sanitized ? 150 : 1000;
    for (unsigned seed = 1; seed <= seeds; ++seed) {
        std::mt19937 random(seed);
        std::vector<std::uint8_t> bytes(3 * 250);
        for (std::uint8_t& byte : bytes)
            byte = static_cast<std::uint8_t>(random());
        const std::vector<Op> ops = decode(bytes.data(), bytes.size());
        if (!divergence(ops).empty())
            FAIL() << "seed " << seed << ": " << shortestReport(ops);
    }
    EXPECT_GT(overflows, static_cast<int>(seeds / 20)) << "the seeds hardly reach the cache bound";
}
#endif
