// What the model does not cover: exception texts, stream formatting, calls back into
// logging from backends and channels, threads, backend libraries and binary layout.
#include "AllocationProbe.h"
#include "Recording.h"

#include "Tev/Framework/Exceptions/FrameworkException.h"
#include "Tev/Framework/Management/MemoryManager/IRegisteredObject.h"
#include "Tev/Framework/Management/PropertyManager.h"

#include <gmock/gmock.h>

#if !defined(_WIN32)
#  include <dlfcn.h>
#  include <malloc.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

#include <atomic>
#include <climits>
#include <cstring>
#include <iomanip>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <type_traits>

namespace {

using namespace TevTest;

// One recording backend, installed; nothing else left behind.
class Logging : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetLogging();
        Logger::installBackend(&backend);
    }
    void TearDown() override { resetLogging({&backend}); }
    std::string lastText()
    {
        const std::vector<std::string> events = journal.take();
        return events.empty() ? "(none)" : events.back().substr(events.back().find(" 50 ") + 4);
    }

    Journal journal;
    RecordingBackend backend{"B", journal};
};

TEST(LoggerException, WhatNamesTypeFileLineAndMessageOnceAndCopiesTakeItAlong)
{
    const std::string type = "Exception 'Tev::Framework::GenericLogger::LoggerException' (";
    const struct {
        LoggerException error;
        const char* what;
    } cases[] = {{LoggerException("some\\file", 7), "some\\file:7): "},
                 {LoggerException("m", "f", -12), "f:-12): m"},
                 {LoggerException(nullptr, nullptr, 0), ":0): "},
                 {LoggerException("m", "f", INT_MIN), "f:-2147483648): m"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.error.what(), type + c.what);

    LoggerException error("message", "file", 3);
    const std::string first = error.what();
    error.lineNumber(8);
    error.filename("other");
    EXPECT_EQ(error.lineNumber(), 8);
    EXPECT_STREQ(error.filename(), "other");
    LoggerException assigned("x", "y", 1);
    assigned = error;
    const LoggerException copy(assigned);
    for (const LoggerException* e : std::initializer_list<const LoggerException*>{&error, &assigned, &copy})
        EXPECT_TRUE(e->what() == first && std::string(e->message()) == "message") << "composed once, copied along";
    // Thrown as it is, not as a std::exception (the texts of the thrown errors are the model's).
    static_assert(!std::is_base_of_v<std::exception, LoggerException>);
}

TEST_F(Logging, StreamsFormatLikeAFreshOstreamInTheClassicLocale)
{
    Logger* log = Logger::getLogger("stream");
    struct Grouping : std::numpunct<char> {
        char do_thousands_sep() const override { return ','; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Grouping));
    const auto expectAsOstream = [&](const auto& value) {
        std::ostringstream expected;
        expected.imbue(std::locale::classic());
        expected << '<' << value << '>';
        LogStream(log, LevelError) << '<' << value << '>';
        EXPECT_EQ(lastText(), expected.str());
    };
    expectAsOstream(1234567), expectAsOstream(LLONG_MIN), expectAsOstream(ULLONG_MAX);
    expectAsOstream(static_cast<short>(-7)), expectAsOstream(static_cast<unsigned char>('z')), expectAsOstream(true);
    expectAsOstream(std::string_view("a view"));
    for (double d : {0.0, -0.0, 1.0 / 3.0, 123456.0, 1234567.0, 1e-5, 2.5e300, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::denorm_min()})
        expectAsOstream(d);
    expectAsOstream(3.14159265f), expectAsOstream(1.5L);
    std::locale::global(previous);

    const char* none = nullptr;
    LogStream(log, LevelError) << std::hex << 255 << ' ' << std::setw(4) << std::setfill('.') << 42 << none << '|'
                               << std::setprecision(3) << 3.14159;
    EXPECT_EQ(lastText(), "ff ..2a|3.14");
    LogStream(log, LevelError) << 255 << ' ' << 3.14159 << ' ' << true << " next message, fresh state" << std::setw(9);
    EXPECT_EQ(lastText(), "255 3.14159 1 next message, fresh state");
    LogStream(log, LevelError) << std::left << 7 << '|' << 3.14159;
    EXPECT_EQ(lastText(), "7|3.14159") << "a width or precision left over from the last message";
    const std::string big(300000, 'x');
    LogStream(log, LevelError) << big;
    EXPECT_EQ(lastText(), big);
    LogStream(log, LevelError) << "short after long";
    EXPECT_EQ(lastText(), "short after long");
}

int evaluations = 0;
int counted(int value)
{
    return ++evaluations, value;
}

TEST_F(Logging, StreamsDeliverOnceWhenTheyEnd)
{
    Logger* log = Logger::getLogger("s");
    journal.take();
    log->stream();
    EXPECT_EQ(journal.take(), std::vector<std::string>{"B#1 log s 10 "}) << "level 10, even when empty";
    {
        LogStream first(log, LevelError);
        LogStream second(log, LevelInfo);
        first << "first";
        second << "second";
        LogStream moved(std::move(first));
        moved << " moved";
        LogStream(nullptr, LevelError) << "nowhere";
    }
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"B#1 log s 50 first moved", "B#1 log s 20 second"}));
    LogStream across(log, LevelError);
    across << "started here";
    std::thread([&across] { (across << ", ended there").deliver(); }).join();
    EXPECT_EQ(lastText(), "started here, ended there");

    TEV_LOG(log, LevelDebug) << counted(1);
    TEV_LOG(log, LevelNone) << counted(2);
    TEV_LOG(static_cast<Logger*>(nullptr), LevelError) << counted(3);
    EXPECT_EQ(evaluations, 0) << "TEV_LOG below the threshold evaluates nothing";
    for (bool condition : {true, false})
        if (condition)
            TEV_LOG(log, LevelError) << "then";
        else
            LogStream(log, LevelError) << "else";
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"B#1 log s 50 then", "B#1 log s 50 else"}));

    backend.onLog = [](const std::string&, LoggingLevel) { throw std::runtime_error("channel"); };
    EXPECT_THROW(LogStream(log, LevelError) << "thrown to the caller", std::runtime_error);
    try {
        LogStream unwound(log, LevelError);
        throw std::logic_error("the caller's own");
    } catch (const std::logic_error&) {
        // The channel's exception was dropped, not thrown into the unwinding.
    }
}

TEST_F(Logging, BackendsAskingForLoggersWhileTheyAreCreatedGetThoseLoggers)
{
    Logger* inner = nullptr;
    backend.onCreate = [&inner](const std::string& name) {
        if (name == "outer") {
            inner = Logger::getLogger("outer");
            LogStream(inner, LevelError) << "while created";
            LogStream(Logger::getLogger("diagnostics"), LevelError) << "a logger of the backend's own";
        }
    };
    EXPECT_EQ(Logger::getLogger("outer"), inner) << "one name, one logger";
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"B create outer", "B create diagnostics",
                                                        "B#1 log diagnostics 50 a logger of the backend's own",
                                                        "B#2 log outer 50 while created"}));
    backend.onCreate = [](const std::string& name) {
        if (name == "failing")
            Logger::getLogger("failing");
        throw std::runtime_error("no channel");
    };
    EXPECT_THROW(Logger::getLogger("refused"), std::runtime_error);
    EXPECT_THROW(Logger::getLogger("failing"), std::runtime_error);
    backend.onCreate = nullptr;
    journal.take();
    Logger::getLogger("refused");
    Logger::getLogger("failing");
    EXPECT_EQ(journal.take(), std::vector<std::string>{"B create refused"})
        << "a logger that failed is created anew, unless a backend was handed it";
}

TEST_F(Logging, ChannelsThatLogWhenReleasedLetCloseReturn)
{
    backend.onRelease = [](const std::string& name) {
        LogStream(Logger::getLogger(name.c_str()), LevelError) << "bye";
    };
    Logger::getLogger("a");
    Logger::getLogger("b");
    journal.take();
    Logger::closeAllLoggers();
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"B#1 release a", "B create a", "B#3 log a 50 bye",
                                                        "B#2 release b", "B create b", "B#4 log b 50 bye"}));
    backend.onRelease = nullptr;
    Logger::closeAllLoggers();
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"B#3 release a", "B#4 release b"}))
        << "the loggers made during a close are closed by the next";
    backend.onRelease = [](const std::string& name) { throw std::runtime_error("releasing " + name); };
    Logger::getLogger("c"), Logger::getLogger("d");
    journal.take();
    EXPECT_THAT([] { Logger::closeAllLoggers(); }, ::testing::ThrowsMessage<std::runtime_error>("releasing c"));
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"B#5 release c", "B#6 release d"}))
        << "all closed, first error";
    backend.onLog = [](const std::string&, LoggingLevel) { Logger::closeAllLoggers(); };
    EXPECT_THROW(LogStream(Logger::getLogger("e"), LevelError) << "closing from inside", LoggerException);
    backend.onLog = nullptr;

    RecordingBackend second{"C", journal};
    backend.onRelease = [&second](const std::string& name) {
        if (name == "f")
            Logger::installBackend(&second); // refreshes the loggers not yet closed only
    };
    Logger::closeAllLoggers();
    Logger::getLogger("f"), Logger::getLogger("g");
    journal.take();
    Logger::closeAllLoggers();
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"B#8 release f", "B create g", "C create g", "B#10 release g",
                                                        "C#1 release g"}));
    resetLogging({&second});
}

TEST_F(Logging, ChannelsMayLogAgainAndAReplayThatFailsKeepsTheCache)
{
    backend.onLog = [](const std::string& name, LoggingLevel level) {
        if (name == "outer")
            LogStream(Logger::getLogger("inner"), level) << "from inside";
    };
    LogStream(Logger::getLogger("outer"), LevelError) << "first";
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"B create outer", "B#1 log outer 50 first", "B create inner",
                                                        "B#2 log inner 50 from inside"}));
    Logger::uninstallBackend(&backend);
    LogStream(Logger::getLogger("outer"), LevelError) << "cached";
    backend.onLog = [](const std::string&, LoggingLevel) { throw std::runtime_error("replay"); };
    EXPECT_THROW(Logger::installBackend(&backend), std::runtime_error);
    backend.onLog = nullptr;
    RecordingBackend second{"C", journal};
    Logger::installBackend(&second);
    Logger::uninstallBackend(&second);
    EXPECT_EQ(journal.take().back(), "C#2 log outer 50 cached") << "the failed replay kept the message";
    resetLogging({&second}); // its channels go with it
}

TEST_F(Logging, NamesStayFoundAcrossFailedCreationsAndRefreshesGoOnInNameOrder)
{
    backend.onCreate = [](const std::string& name) {
        if (name.rfind("fails.", 0) == 0)
            throw std::runtime_error("no channel");
    };
    std::vector<Logger*> kept;
    for (int i = 0; i < 3000; ++i) {
        kept.push_back(Logger::getLogger(("kept." + std::to_string(i)).c_str()));
        EXPECT_THROW(Logger::getLogger(("fails." + std::to_string(i)).c_str()), std::runtime_error);
    }
    EXPECT_EQ(std::set<Logger*>(kept.begin(), kept.end()).size(), kept.size());
    for (std::size_t i = 0; i < kept.size(); i += 7)
        EXPECT_EQ(Logger::getLogger(("kept." + std::to_string(i)).c_str()), kept[i]);
    resetLogging();

    for (const char* name : {"a", "b", "d"})
        Logger::getLogger(name);
    RecordingBackend second{"C", journal};
    second.onCreate = [this](const std::string& name) {
        if (name == "b") { // while "b" is refreshed: a logger before it, one after, and one backend fewer
            Logger::getLogger("a2");
            Logger::getLogger("c");
            Logger::uninstallBackend(&backend);
        }
    };
    journal.take();
    Logger::installBackend(&second);
    std::vector<std::string> asked;
    for (const std::string& event : journal.take())
        if (event.find(" create ") != std::string::npos)
            asked.push_back(event);
    EXPECT_EQ(asked, (std::vector<std::string>{"B create a", "C create a", "B create b", "C create b", "B create a2",
                                               "C create a2", "B create c", "C create c", "C create c", "C create d"}))
        << "later names in their turn, with the backends installed then";
    resetLogging({&second});
}

TEST_F(Logging, ThreadsLoseNoMessageAndChannelsSeeOneCallAtATime)
{
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    backend.onLog = [&](const std::string& name, LoggingLevel) {
        overlaps += inside++ != 0;
        std::this_thread::yield();
        --inside;
        if (name[0] == 't') // and every thread logs from inside a channel too
            LogStream(Logger::getLogger("inner"), LevelError) << "nested";
    };
    constexpr int threads = 4;
    constexpr int perThread = 2000;
    onThreads(threads, [](int t) {
        Logger* own = Logger::getLogger(("t" + std::to_string(t)).c_str());
        for (int i = 0; i < perThread; ++i) {
            LogStream(Logger::getLogger("shared"), LevelError) << t << ':' << i;
            TEV_LOG(own, LevelError) << i;
        }
    });
    EXPECT_EQ(overlaps.load(), 0);
    std::vector<int> next(threads, 0);
    int own = 0;
    for (const std::string& event : journal.take()) {
        const std::string text = event.substr(event.rfind(' ') + 1);
        if (event.find(" log shared 50 ") == std::string::npos)
            own += event.find(" log t") != std::string::npos;
        else
            EXPECT_EQ(std::stoi(text.substr(text.find(':') + 1)), next[std::stoul(text)]++) << "in each thread's order";
    }
    EXPECT_EQ(next, std::vector<int>(threads, perThread));
    EXPECT_EQ(own, threads * perThread);
}

#if !defined(_WIN32) // backend libraries through dlopen, dlclose and fork; Windows has tests of its own

TEST_F(Logging, BackendLibrariesLoadCreateAndCloseInOrder)
{
    const std::string unresolved = "Unable to resolve function createBackend from dynamic library\n"
                                   "Expression 'p != 0' failed in 'Tev/Gadgets/DLL/DLLHolder', line: 25";
    for (auto [name, error] : {std::pair{"missing", unresolved.c_str()},
                               {"nofactory", unresolved.c_str()},
                               {"throwing", "no backend today"}}) {
        try {
            Logger::installBackend(name);
            ADD_FAILURE() << name << " loaded";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), std::string(error)) << name;
        }
    }
    EXPECT_EQ(Logger::loadBackend("null"), nullptr);
    EXPECT_EQ(Logger::installBackend("null"), nullptr);
    EXPECT_THROW(Logger::loadBackend(nullptr), std::invalid_argument);

    void* library = ::dlopen("recording_ru.so", RTLD_NOW);
    ASSERT_NE(library, nullptr) << ::dlerror();
    reinterpret_cast<void (*)(Journal*)>(::dlsym(library, "attachJournal"))(&journal);
    LoggerBackend* loaded = Logger::loadBackend("recording");
    ::dlclose(library);
    LogStream(Logger::getLogger("x"), LevelError) << "before";
    Logger::installBackend(loaded);
    Logger::installBackend("recording");
    Logger::closeAllLoggers();
    EXPECT_EQ(journal.take(),
              (std::vector<std::string>{"B create x", "B#1 log x 50 before", "B create x", "P1 create x", "B create x",
                                        "P1 create x", "P2 create x", "B#3 release x", "P1#2 release x",
                                        "P2#1 release x", "P1 deleted", "P2 deleted", "library unloaded"}));
    Logger::getLogger("after");
    EXPECT_EQ(journal.take(), std::vector<std::string>{"B create after"}) << "objects stay installed";
}

// Interposed, to see what the framework unloads as it is torn down when the process
// ends: each call writes a byte to this descriptor.
int dlcloseReport = -1;

} // namespace

extern "C" __attribute__((visibility("default"))) int dlclose(void* handle)
{
    if (dlcloseReport >= 0 && ::write(dlcloseReport, "x", 1) != 1)
        std::abort();
    static const auto next = reinterpret_cast<int (*)(void*)>(::dlsym(RTLD_NEXT, "dlclose"));
    return next(handle);
}

namespace {

TEST(LoggingTeardown, KeptChannelsKeepTheirLibrariesLoaded)
{
    for (bool keep : {false, true}) {
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        if (::fork() == 0) {
            ::close(report[0]);
            Logger::installBackend("recording");
            LogStream(Logger::getLogger("kept"), LevelError) << "logged";
            Logger::unloadLoggingChannels(!keep);
            dlcloseReport = report[1];
            std::exit(0);
        }
        ::close(report[1]);
        std::string calls;
        for (char byte; ::read(report[0], &byte, 1) == 1;)
            calls += byte;
        ::close(report[0]);
        ::wait(nullptr);
        EXPECT_EQ(calls.empty(), keep) << (keep ? "libraries unloaded though their channels were kept"
                                                : "no unload seen");
    }
}

TEST_F(Logging, FailedLoadsKeepNothing)
{
    TEV_REQUIRE_ALLOCATION_PROBE();
    const auto fail = [] {
        EXPECT_THROW(Logger::loadBackend("missing"), std::runtime_error);
        EXPECT_THROW(Logger::loadBackend("nofactory"), std::runtime_error);
    };
    fail();
    const long before = liveAllocations();
    for (int i = 0; i < 2000; ++i)
        fail();
    EXPECT_EQ(liveAllocations(), before);
}

// Loggers made and closed over and over leave the library no bigger than it was.
TEST_F(Logging, MakingAndClosingLoggersOverAndOverKeepsMemoryFlat)
{
    if (sanitized)
        GTEST_SKIP() << "a sanitizer's allocator does not report to mallinfo2";
    struct : LoggerBackend { // offers no channel, and fails the names that start with 'f'
        LoggingChannel* createChannel(const char* name) override
        {
            return name[0] == 'f' ? throw std::runtime_error("refused") : nullptr;
        }
    } refusing;
    Logger::uninstallBackend(&backend); // which keeps every channel it makes
    Logger::installBackend(&refusing);
    const auto cycle = [] {
        for (int i = 0; i < 1000; ++i) {
            Logger::getLogger(("cycle." + std::to_string(i)).c_str());
            EXPECT_THROW(Logger::getLogger(("fails." + std::to_string(i)).c_str()), std::runtime_error);
        }
        Logger::closeAllLoggers();
    };
    const auto inUse = [] { // the heap and mapped blocks
        const auto info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    cycle();
    const std::size_t before = inUse();
    for (int k = 0; k < 30; ++k)
        cycle();
    EXPECT_LT(inUse(), before + 64 * 1024);
    Logger::uninstallBackend(&refusing);
}

// While one thread loads and closes backend libraries, others load a library that asks
// for a logger from its static initialiser and destructor: the loader's lock and the logging mutex
// must never be taken in opposite orders (a deadlock ends in the test's timeout).
TEST_F(Logging, LibrariesThatLogWhileTheyLoadNeverWaitForALoader)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    onThreads(3, [until](int t) {
        while (std::chrono::steady_clock::now() < until) {
            if (t == 0) {
                Logger::installBackend("recording");
                Logger::closeAllLoggers();
            } else if (void* library = ::dlopen("static_ru.so", RTLD_NOW | RTLD_LOCAL)) {
                ::dlclose(library);
            } else {
                ADD_FAILURE() << ::dlerror();
                return;
            }
        }
    });
}

// A backend installed by name is alive when it is installed, though another thread
// closes everything meanwhile.
TEST_F(Logging, InstallingByNameWhileAnotherThreadClosesEverything)
{
    onThreads(2, [](int t) {
        for (int i = 0; i < 3000; ++i)
            t == 0 ? Logger::closeAllLoggers() : static_cast<void>(Logger::installBackend("recording"));
    });
}

#endif

// Backends built against another build of the headers find every virtual operation in
// the same slot: the destructor first (two slots), then the others in order.
template <typename Member>
std::ptrdiff_t slotOf(Member member)
{
    // Itanium C++ ABI: a pointer to a virtual member holds 1 + its offset in the table.
    std::ptrdiff_t representation[2];
    static_assert(sizeof member == sizeof representation, "not an Itanium member pointer");
    std::memcpy(representation, &member, sizeof member);
    return (representation[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(Abi, VirtualOperationsKeepTheirSlotsAndClassesTheirSize)
{
    using Tev::Framework::Management::PropertyManager;
    const std::pair<std::ptrdiff_t, std::ptrdiff_t> slots[] = {
        {slotOf(&LoggerBackend::createChannel), 2},  {slotOf(&LoggingChannel::release), 2},
        {slotOf(&LoggingChannel::log), 3},           {slotOf(&LoggerException::message), 2},
        {slotOf(&LoggerException::what), 3},         {slotOf(&PropertyManager::getProperty), 2},
        {slotOf(&PropertyManager::hasProperty), 3},  {slotOf(&PropertyManager::setProperty), 4},
        {slotOf(&PropertyManager::clearProperty), 5}};
    for (std::size_t i = 0; i < std::size(slots); ++i)
        EXPECT_EQ(slots[i].first, slots[i].second) << "operation " << i;
    EXPECT_TRUE(std::has_virtual_destructor_v<Tev::Framework::Management::MemoryManager::IRegisteredObject>);
    EXPECT_TRUE(std::has_virtual_destructor_v<Tev::Framework::Exceptions::FrameworkException>);
    EXPECT_EQ(sizeof(LoggerException), 2 * sizeof(void*)) << "a table pointer and a record pointer";
    EXPECT_EQ(sizeof(Logger), sizeof(void*));
}

} // namespace
