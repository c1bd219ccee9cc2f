// Every operation that allocates, run with its first allocation failing, then its
// second, and so on until it completes. After each failure: std::bad_alloc reached the
// caller, nothing leaked, the state is as before the call, and no lock is left held
// (another thread's call into the same locks completes).
#include "AllocationProbe.h"
#include "Recording.h"
#if defined(_WIN32)
const auto isolateVarTmp = [] { return std::string("no private crisis log here"); };
#else
#  include "PrivateVarTmp.h"
#endif

#include "Tev/Framework/Counting/Counter.h"
#include "Tev/Framework/CrisisLogging/CrisisLogger.h"
#include "Tev/Framework/Exceptions/UnexistentProperty.h"
#include "Tev/Framework/Framework.h"
#include "Tev/Framework/Management/MemoryManager/Registry.h"
#include "Tev/Framework/StringHolder.h"

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <iostream>

namespace {

using namespace TevTest;
using namespace Tev::Framework;
namespace MM = Management::MemoryManager;

// A backend that allocates nothing: every logger shares one channel that counts.
struct CountingBackend : LoggerBackend {
    struct Channel : LoggingChannel {
        void log(LoggingLevel, const char*) override { ++messages; }
        void release() override { ++released; }
        int messages = 0, released = 0;
    } channel;
    int asked = 0, handed = 0;
    const char* offers = nullptr; // every name when null
    LoggingChannel* createChannel(const char* name) override
    {
        return ++asked, offers == nullptr || std::strcmp(name, offers) == 0 ? (++handed, &channel) : nullptr;
    }
};

const std::string longName(80, 'n'); // copies of it need memory of their own
const std::wstring longWide(80, L'w');
const auto makeObject = []() -> MM::IRegisteredObject* { return new MM::IRegisteredObject(); };

bool locksAreFree()
{
    auto other = std::async(std::launch::async, [] {
        Logger::getLogger("sweep.lock");
        MM::findObject("sweep.lock");
    });
    return other.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}

TEST(AllocationFailure, EveryAllocatingOperationFailsCleanlyAtEveryPoint)
{
    TEV_REQUIRE_ALLOCATION_PROBE();
    std::string notIsolated = "not yet"; // the crisis log's row comes last, on a private /var/tmp
    resetLogging();
    CountingBackend installed[3], added, last;
    CountingBackend witness; // sees the cached messages of one logger, whenever they are replayed
    witness.offers = "sweep.cached";
    Logger* cached = Logger::getLogger("sweep.cached");
    std::string newName = longName + "0";
    const auto unreleased = [&installed] {
        int count = 0;
        for (const CountingBackend& backend : installed)
            count += backend.handed - backend.channel.released;
        return count;
    };
    int kept = 0; // channels that the loggers made so far hold
    Management::PropertyManager& store = *Framework::propertyManager();
    store.setProperty(L"sweep.replaced", L"old value, long enough to live on the heap ........");
    Logger::loadBackend("recording");              // later loads share its library
    MM::registerObject("sweep.table", makeObject); // the registry's table, which it keeps once made
    StringHolder target("before");
    const StringHolder source(longName.c_str());
    Exceptions::FrameworkException frameworkError("before");
    LoggerException loggerError("before", "file", 1), renamed("before", "file", 1);

    const struct Row {
        const char* operation;
        std::function<void()> call;
        std::function<bool()> unchanged = nullptr; // after a failed call; null: nothing it could change
    } rows[] = {
        {"getLogger of a new name", [&] { Logger::getLogger(newName.c_str()); },
         [&] {
             const int asked = installed[0].asked;
             const bool gaveBack = unreleased() == kept; // every channel the failed creation was handed
             std::async(std::launch::async, [&] { Logger::getLogger(newName.c_str()); }).get();
             kept = unreleased();
             newName = longName + std::to_string(asked); // the next attempt creates anew
             return gaveBack && installed[0].asked == asked + 1;
         }},
        {"caching a message", [&] { doLog(cached, LevelNone, longName.c_str()); }},
        {"installBackend with loggers", [&] { Logger::installBackend(&added); },
         [&] {
             Logger::uninstallBackend(&added);
             const auto delivered = [&] {
                 return installed[0].channel.messages + installed[1].channel.messages + installed[2].channel.messages;
             };
             const int before = delivered();
             LogStream(Logger::getLogger("sweep.a"), LevelError) << "x";
             return delivered() == before + 3; // every logger keeps its channels
         }},
        {"loadBackend", [] { Logger::loadBackend("recording"); }},
        {"setProperty of a new name", [&] { store.setProperty(longWide, longWide); },
         [&] { return !store.hasProperty(longWide); }},
        {"setProperty of a set name", [&] { store.setProperty(L"sweep.replaced", longWide); },
         [&] { return store.getProperty(L"sweep.replaced").rfind(L"old value", 0) == 0; }},
        {"getProperty and clearProperty of a missing name",
         [&] {
             for (bool clear : {false, true})
                 try {
                     clear ? store.clearProperty(longWide + L"?")
                           : static_cast<void>(store.getProperty(longWide + L"?"));
                 } catch (const Exceptions::UnexistentProperty&) {}
         },
         [&] { return !store.hasProperty(longWide + L"?"); }},
        {"registerObject of a new name", [] { MM::registerObject(longName.c_str(), makeObject); },
         [] { return MM::findObject(longName.c_str()) == nullptr; }},
        {"counter of a new name", [] { Counting::Counter::counter(longName.c_str()); }},
        {"StringHolder(const char*)", [] { StringHolder made(longName.c_str()); }},
        {"StringHolder copy", [&] { StringHolder made(source); }},
        {"StringHolder assignment", [&] { target = source; }, [&] { return std::string(target.c_str()) == "before"; }},
        {"StringHolder append", [&] { StringHolder("x") += source; }},
        {"FrameworkException(const char*)", [] { Exceptions::FrameworkException made(longName.c_str()); }},
        {"FrameworkException copy", [&] { Exceptions::FrameworkException made(frameworkError); }},
        {"FrameworkException assignment", [&] { frameworkError = Exceptions::FrameworkException("after"); },
         [&] { return std::string(frameworkError.message()) == "before"; }},
        {"LoggerException(message, file, line)", [] { LoggerException made(longName.c_str(), "f", 1); }},
        {"LoggerException copy", [&] { LoggerException made(loggerError); }},
        {"LoggerException assignment", [&] { loggerError = LoggerException(longName.c_str(), "g", 2); },
         [&] { return std::string(loggerError.message()) == "before" && loggerError.lineNumber() == 1; }},
        {"LoggerException::filename(const char*)", [&] { renamed.filename(longName.c_str()); },
         [&] { return std::string(renamed.filename()) == "file"; }},
        // Last: its private /var/tmp can hide the program's folder, where libraries are loaded from.
        {"CrisisLogger::instance()", [] { CrisisLogging::CrisisLogger::instance(); }},
    };
    for (CountingBackend& backend : installed)
        Logger::installBackend(&backend);
    Logger::installBackend(&witness);
    Logger::getLogger("sweep.a");
    Logger::getLogger("sweep.lock");          // as locksAreFree() asks for it
    doLog(cached, LevelNone, "cached first"); // the cache's first entry makes room it keeps
    kept = unreleased();

    long failurePoints = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operation);
        if (&row == &rows[std::size(rows) - 1] && !(notIsolated = isolateVarTmp()).empty())
            continue; // the crisis log's row needs a private /var/tmp
        const long points = failEachAllocationInTurn(row.call, [&] {
            EXPECT_TRUE(!row.unchanged || row.unchanged()) << row.operation << ": changed by a failed call";
            EXPECT_TRUE(locksAreFree()) << row.operation << ": a lock is left held";
        });
        EXPECT_GT(points, 0) << row.operation << " allocates nothing";
        failurePoints += points;
    }
    std::cout << failurePoints << " allocation failure points in " << sizeof rows / sizeof rows[0] << " operations"
              << (notIsolated.empty() ? "" : " (not the crisis log: " + notIsolated + ")") << "\n";

    // Of the failed calls' messages nothing was cached: the replays brought the first
    // message and the one that succeeded.
    Logger::installBackend(&last);
    EXPECT_EQ(witness.channel.messages, 2);
    MM::unregisterObject(longName.c_str());
    MM::unregisterObject("sweep.table");
    resetLogging({&installed[0], &installed[1], &installed[2], &witness, &added, &last});
}

// A thread keeps its buffer, grown, for its next message: a warm thread logs without allocating.
TEST(AllocationFailure, AWarmThreadLogsWithoutAllocating)
{
    TEV_REQUIRE_ALLOCATION_PROBE();
    resetLogging();
    CountingBackend backend;
    Logger::installBackend(&backend);
    Logger* log = Logger::getLogger("sweep.warm");
    for (int i = 0; i < 10; ++i) { // from the second message on, nothing may allocate
        failAllocation(i == 0 ? -1 : 0);
        LogStream(log, LevelError) << "message " << i << ' ' << 2.5 << ' ' << longName << longName;
        failAllocation(-1);
    }
    EXPECT_EQ(backend.channel.messages, 10);
    resetLogging({&backend});
}

} // namespace
