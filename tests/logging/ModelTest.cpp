// Applies sequences of logging calls both to the library and to a small model of its
// rules, and compares after every call what each backend and channel was asked and what
// the call returned. Backends are objects and backends loaded by name from the test
// plugin; the sequence also gives them call-backs into logging (log, ask for a logger,
// install, uninstall, load, close) from createChannel, log, release and a loaded backend's
// destructor, and the model says what each must see. Sequences come from seeds (the test)
// or from libFuzzer (the fuzz target, built from this file with TEV_FUZZ).
#include "Recording.h"

#include "Tev/Framework/Framework.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

#ifndef TEV_FUZZ
#  include <gtest/gtest.h>
#endif

namespace {

using namespace TevTest;

const char* const names[] = {"", "a", "A", "ab", "a.b", "b", "Tev.Framework"};
// One name in eight is one of 16 more, so that refreshes walk dozens of loggers.
std::string nameOf(unsigned i)
{
    return i % 8 != 7 ? names[i % 7] : "n." + std::to_string(i / 8 % 16);
}
const LoggingLevel levels[] = {LevelNone,  LevelDebug,       LevelWarning,          LoggingLevel(49),     LevelError,
                               LevelFatal, LoggingLevel(-5), LoggingLevel(INT_MIN), LoggingLevel(INT_MAX)};
const char* const libraries[] = {"recording", "null", "missing", "nofactory", "throwing"};
constexpr int objects = 3; // backends B0, B1, B2; those loaded by name follow as P1, P2...

const auto pick = [](const auto& table, unsigned i) { return table[i % std::size(table)]; };

// Object backends offer no channel to some names; loaded ones offer one to every name.
bool offers(int backend, const std::string& name)
{
    return backend >= objects || (name.size() + static_cast<std::size_t>(backend)) % 3 != 0;
}

// clang-format off
enum Kind { Get, Stream, DoLog, Burst, TevLog, Threshold, Enable, Active, Install, Uninstall, Close, Unload, Load, Hook };
// clang-format on
const char* const kindNames[] = {"getLogger", "stream",  "do_log",    "burst",    "TEV_LOG",   "threshold", "enable",
                                 "isActive",  "install", "uninstall", "closeAll", "setUnload", "load",      "hook"};
enum Point { OnCreate, OnLog, OnRelease, OnDestroy };
enum class Act { Nothing, Log, Get, Install, Uninstall, Load, Close };

// What a call-back does: `arg` picks a name, or an object backend.
struct Action {
    Act act = Act::Nothing;
    unsigned arg = 0;
};
using Hooks = std::map<int, std::array<Action, 4>>; // by backend, by point

struct Op {
    Kind kind;
    std::uint8_t a, b; // a: the logger's name (or the backend a hook is for); b: the rest
    std::string name() const { return nameOf(a); }
    LoggingLevel level() const { return pick(levels, b); }
    bool flag() const { return b % 2 == 1; }
    bool andInstall() const { return b / 5 % 2 == 1; }
    Action action() const { return Action{static_cast<Act>(b / 4 % 7), b / 28u + 10u * a}; }
};

// The backend an install or uninstall is for, among the live ones; -1 for null.
int backendOf(const Op& op, const std::vector<int>& live)
{
    const std::size_t i = op.b % (live.size() + 1);
    return i == live.size() ? -1 : live[i];
}

const std::string installError = "Exception 'Tev::Framework::GenericLogger::LoggerBackendLoadError' "
                                 "(Tev\\Framework\\GenericLogger\\Logger:";
const std::string unresolved = "Unable to resolve function createBackend from dynamic library\n"
                               "Expression 'p != 0' failed in 'Tev/Gadgets/DLL/DLLHolder', line: 25";
const std::string twice = "Cannot install a backend twice!";
const std::string nestedLoad = "Cannot load a backend library from inside a logging call";
const std::string nestedClose = "Cannot close the loggers from inside a logging call";

int overflows = 0; // how often the model saw a cache overflow, over all runs

// The rules, as the model keeps them. Every call returns what the library should have
// said (a result, or the exception it throws) and adds the events it should have caused.
class Model {
public:
    std::vector<std::string> events;

    std::vector<int> live() const
    {
        std::vector<int> ids{0, 1, 2};
        ids.insert(ids.end(), loaded_.begin(), loaded_.end());
        return ids;
    }

    std::string apply(const Op& op, const std::string& message, const std::vector<int>& live)
    {
        switch (op.kind) {
        case Get: logger(op.name()); break;
        case Stream:
            if (op.level() != LevelNone)
                deliver(op.name(), op.level(), message);
            break;
        case DoLog: deliver(op.name(), op.level(), message); break;
        case Burst:
            for (int i = 0; i <= op.b % 64; ++i)
                deliver(op.name(), LevelError, message + "." + std::to_string(i));
            break;
        case TevLog:
            if (op.level() != LevelNone && op.level() >= logger(op.name()).minLevel)
                deliver(op.name(), op.level(), message);
            break;
        case Threshold: logger(op.name()).minLevel = op.level(); break;
        case Enable: logger(op.name()).enabled = op.flag(); break;
        case Active: return op.level() >= logger(op.name()).minLevel ? "active" : "inactive";
        case Install: {
            const int backend = backendOf(op, live);
            const std::string refused = install(backend);
            return refused.empty() ? "" : installError + (backend < 0 ? "294): " : "301): ") + refused;
        }
        case Uninstall: remove(installed_, backendOf(op, live)); break;
        case Close: closeAll(); break;
        case Unload: unload_ = op.flag(); break;
        case Load: return load(pick(libraries, op.b), op.andInstall());
        case Hook: hooks_[live[op.a % live.size()]][op.b % 4] = op.action(); break;
        }
        return "";
    }

private:
    struct Channel {
        int backend;
        std::string label;
    };
    struct Logger {
        std::vector<Channel> channels;
        std::vector<std::pair<LoggingLevel, std::string>> cache;
        bool overflowed = false;
        LoggingLevel minLevel = LevelError;
        bool enabled = true;
    };

    static std::string label(int backend)
    {
        return backend < objects ? "B" + std::to_string(backend) : "P" + std::to_string(backend - objects + 1);
    }
    static void remove(std::vector<int>& ids, int id) { ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end()); }

    // A call-back runs only when no other is running: the calls it makes call back no further.
    void fire(int backend, Point point)
    {
        const Action action = hooks_[backend][point];
        if (depth_ != 0 || action.act == Act::Nothing)
            return;
        ++depth_;
        const std::string text = "h" + std::to_string(++fired_);
        const std::string refused = label(backend) + " refused ";
        switch (action.act) {
        case Act::Log: deliver(nameOf(action.arg), LevelError, text); break;
        case Act::Get: logger(nameOf(action.arg)); break;
        case Act::Install:
            if (!install(static_cast<int>(action.arg % objects)).empty())
                events.push_back(refused + twice);
            break;
        case Act::Uninstall: remove(installed_, static_cast<int>(action.arg % objects)); break;
        case Act::Load: events.push_back(refused + nestedLoad); break;
        case Act::Close:
            if (unload_)
                events.push_back(refused + nestedClose);
            break;
        case Act::Nothing: break;
        }
        --depth_;
    }

    // A new logger is entered first, then asks the backends installed then, but for those
    // that a close under way deletes, and replays what it cached meanwhile.
    Logger& logger(const std::string& name)
    {
        const auto found = loggers_.find(name);
        if (found != loggers_.end())
            return found->second;
        Logger& created = loggers_[name];
        created.channels = collect(name);
        replay(name, created);
        return created;
    }

    std::vector<Channel> collect(const std::string& name)
    {
        std::vector<int> asked;
        for (int backend : installed_)
            if (std::find(closing_.begin(), closing_.end(), backend) == closing_.end())
                asked.push_back(backend);
        std::vector<Channel> channels;
        for (int backend : asked) {
            events.push_back(label(backend) + " create " + name);
            fire(backend, OnCreate);
            if (offers(backend, name))
                channels.push_back({backend, label(backend) + "#" + std::to_string(++made_[backend])});
        }
        return channels;
    }

    // Channels are walked by index: a call-back may give the logger new ones meanwhile.
    void log(const std::string& name, const Logger& l, LoggingLevel level, const std::string& text)
    {
        for (std::size_t i = 0; i < l.channels.size(); ++i) {
            const Channel channel = l.channels[i];
            events.push_back(channel.label + " log " + name + " " + std::to_string(level) + " " + text);
            fire(channel.backend, OnLog);
        }
    }

    void replay(const std::string& name, Logger& l)
    {
        const auto cached = std::exchange(l.cache, {});
        l.overflowed = false;
        for (const auto& [level, text] : cached)
            log(name, l, level, text);
    }

    void deliver(const std::string& name, LoggingLevel level, const std::string& text)
    {
        Logger& l = logger(name);
        if (!l.channels.empty() && !installed_.empty() && level != LevelNone) {
            if (l.enabled)
                log(name, l, level, text);
        } else if (!l.overflowed) {
            if (l.cache.size() <= 100) {
                l.cache.emplace_back(level, text);
            } else {
                l.cache.emplace_back(LevelWarning, "LOG Cache overflow...");
                l.overflowed = true;
                ++overflows;
            }
        }
    }

    // Every logger in name order, each with the backends installed when its turn comes;
    // loggers made meanwhile take their turn if their names come later.
    std::string install(int backend)
    {
        if (backend < 0)
            return "Cannot install a NULL backend!";
        if (std::find(installed_.begin(), installed_.end(), backend) != installed_.end())
            return twice;
        installed_.push_back(backend);
        std::string name;
        for (auto it = loggers_.begin(); it != loggers_.end(); it = loggers_.upper_bound(name)) {
            name = it->first;
            it->second.channels = collect(name);
            replay(name, it->second);
        }
        return "";
    }

    std::string load(const std::string& library, bool andInstall)
    {
        if (library != "recording")
            return library == "null" ? "null" : library == "throwing" ? "no backend today" : unresolved;
        loaded_.push_back(objects + plugins_++);
        if (andInstall)
            install(loaded_.back());
        return "backend";
    }

    // The loggers that exist now are closed in name order; those made meanwhile wait for
    // the next close. Then the loaded backends are deleted and their library unloaded.
    void closeAll()
    {
        if (!unload_)
            return;
        std::vector<std::string> open;
        for (const auto& entry : loggers_)
            open.push_back(entry.first);
        closing_ = std::exchange(loaded_, {});
        for (const std::string& name : open) {
            const Logger closed = std::move(loggers_.at(name));
            loggers_.erase(name);
            for (const Channel& channel : closed.channels) {
                events.push_back(channel.label + " release " + name);
                fire(channel.backend, OnRelease);
            }
        }
        for (int backend : closing_) {
            remove(installed_, backend);
            events.push_back(label(backend) + " deleted");
            fire(backend, OnDestroy);
        }
        if (!std::exchange(closing_, {}).empty())
            events.push_back("library unloaded");
    }

    std::map<std::string, Logger> loggers_;
    std::vector<int> installed_, loaded_, closing_;
    std::map<int, int> made_; // channels made, by backend
    Hooks hooks_;
    int plugins_ = 0, depth_ = 0, fired_ = 0;
    bool unload_ = true;
};

// The library's side of one sequence.
class Library {
public:
    explicit Library(Journal& journal) : journal_(journal)
    {
        for (int b = 0; b < objects; ++b) {
            attach(b, &objects_[b]);
            objects_[b].offers = [b](const std::string& name) { return offers(b, name); };
        }
    }
    ~Library()
    {
        hooks_.clear();
        resetLogging({&objects_[0], &objects_[1], &objects_[2]});
        for (RecordingBackend& object : objects_)
            object.onDestroy = nullptr;
    }

    std::string apply(const Op& op, const std::string& message, const std::vector<int>& live)
    {
        Logger* const logger = Logger::getLogger(op.name().c_str());
        switch (op.kind) {
        case Get: return logger == Logger::getLogger(op.name().c_str()) ? "" : "another logger for the name";
        case Stream: LogStream(logger, op.level()) << message; break;
        case DoLog: doLog(logger, op.level(), message.c_str()); break;
        case Burst:
            for (int i = 0; i <= op.b % 64; ++i)
                LogStream(logger, LevelError) << message << '.' << i;
            break;
        case TevLog: TEV_LOG(logger, op.level()) << message; break;
        case Threshold: logger->minLogLevel(op.level()); break;
        case Enable: logger->enableLogging(op.flag()); break;
        case Active: return logger->isLevelActive(op.level()) ? "active" : "inactive";
        case Install: try { Logger::installBackend(backend(backendOf(op, live)));
            } catch (const LoggerException& e) {
                return e.what();
            }
            break;
        case Uninstall: Logger::uninstallBackend(backend(backendOf(op, live))); break;
        case Close: Logger::closeAllLoggers(); break;
        case Unload: Logger::unloadLoggingChannels(op.flag()); break;
        case Load:
            try {
                const char* library = pick(libraries, op.b);
                LoggerBackend* loaded =
                    op.andInstall() ? Logger::installBackend(library) : Logger::loadBackend(library);
                if (loaded == nullptr)
                    return "null";
                attach(nextLoaded_++, static_cast<RecordingBackend*>(loaded));
                return "backend";
            } catch (const std::exception& e) {
                return e.what();
            }
        case Hook: hooks_[live[op.a % live.size()]][op.b % 4] = op.action(); break;
        }
        return "";
    }

private:
    RecordingBackend* backend(int id) { return id < 0 ? nullptr : backends_[id]; }

    void attach(int id, RecordingBackend* backend)
    {
        backends_[id] = backend;
        backend->onCreate = [this, id](const std::string&) { fire(id, OnCreate); };
        backend->onLog = [this, id](const std::string&, LoggingLevel) { fire(id, OnLog); };
        backend->onRelease = [this, id](const std::string&) { fire(id, OnRelease); };
        backend->onDestroy = [this, id] { fire(id, OnDestroy); };
    }

    void fire(int id, Point point)
    {
        const Action action = hooks_[id][point];
        if (depth_ != 0 || action.act == Act::Nothing)
            return;
        ++depth_;
        const std::string text = "h" + std::to_string(++fired_);
        try {
            switch (action.act) {
            case Act::Log: LogStream(Logger::getLogger(nameOf(action.arg).c_str()), LevelError) << text; break;
            case Act::Get: Logger::getLogger(nameOf(action.arg).c_str()); break;
            case Act::Install: Logger::installBackend(backends_[static_cast<int>(action.arg % objects)]); break;
            case Act::Uninstall: Logger::uninstallBackend(backends_[static_cast<int>(action.arg % objects)]); break;
            case Act::Load: Logger::installBackend("recording"); break;
            case Act::Close: Logger::closeAllLoggers(); break;
            case Act::Nothing: break;
            }
        } catch (const LoggerException& e) {
            journal_.add(backends_[id]->label + " refused " + e.message());
        }
        --depth_;
    }

    Journal& journal_;
    RecordingBackend objects_[objects] = {{"B0", journal_}, {"B1", journal_}, {"B2", journal_}};
    std::map<int, RecordingBackend*> backends_;
    Hooks hooks_;
    int nextLoaded_ = objects, depth_ = 0, fired_ = 0;
};

std::string describe(const std::vector<Op>& ops, std::size_t last)
{
    std::string text;
    for (std::size_t i = 0; i <= last; ++i)
        text += "\n  " + std::to_string(i) + ": " + kindNames[ops[i].kind] + "(\"" + ops[i].name() + "\", " +
                std::to_string(ops[i].b) + ")";
    return text;
}

std::string joined(const std::vector<std::string>& events)
{
    std::string text;
    for (const std::string& event : events)
        text += "\n    " + event;
    return text;
}

// Runs `ops` on a clean library and on the model: the calls up to the first divergence
// and what differed there, or "".
std::string divergence(const std::vector<Op>& ops)
{
    Journal journal;
    auto* properties = Tev::Framework::Framework::propertyManager();
    properties->setProperty(L"TevTest.Journal", std::to_wstring(reinterpret_cast<std::uintptr_t>(&journal)));
    resetLogging();
    std::string found;
    {
        Library library(journal);
        Model model;
        for (std::size_t i = 0; i < ops.size() && found.empty(); ++i) {
            const std::string message = "m" + std::to_string(i);
            // The model creates the logger that every call of the library starts with.
            model.apply(Op{Get, ops[i].a, 0}, message, {});
            const std::vector<int> live = model.live();
            const std::string expected = model.apply(ops[i], message, live);
            const std::string actual = library.apply(ops[i], message, live);
            const std::vector<std::string> events = journal.take();
            if (actual != expected || events != model.events)
                found = describe(ops, i) + "\nreturned \"" + actual + "\", expected \"" + expected +
                        "\"\n  library:" + joined(events) + "\n  model:" + joined(model.events);
            model.events.clear();
        }
    }
    properties->clearProperty(L"TevTest.Journal");
    return found;
}

// Three bytes a call. Messages come more often than the calls that empty caches, so
// that caches fill up and overflow.
std::vector<Op> decode(const std::uint8_t* data, std::size_t size)
{
    static const Kind weighted[] = {Get,       Stream, Stream, Stream,    DoLog,  DoLog,  Burst,   Burst,
                                    Burst,     TevLog, TevLog, Threshold, Enable, Active, Install, Install,
                                    Uninstall, Close,  Unload, Load,      Load,   Hook,   Hook,    Hook};
    std::vector<Op> ops;
    for (std::size_t i = 0; i + 3 <= size; i += 3)
        ops.push_back(Op{pick(weighted, data[i]), data[i + 1], data[i + 2]});
    return ops;
}

} // namespace

#ifdef TEV_FUZZ
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string found = divergence(decode(data, std::min<std::size_t>(size, 3 * 400)));
    if (!found.empty()) {
        std::fprintf(stderr, "the library and the model disagree after these calls:%s\n", found.c_str());
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
        std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<std::uint8_t>(random()); });
        const std::string found = divergence(decode(bytes.data(), bytes.size()));
        if (!found.empty())
            FAIL() << "seed " << seed << ", the library and the model disagree after these calls:" << found;
    }
    EXPECT_GT(overflows, static_cast<int>(seeds / 20)) << "the seeds hardly reach the cache bound";
}
#endif
