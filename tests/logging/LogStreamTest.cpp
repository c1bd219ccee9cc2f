#include "LoggingTest.h"

#include <gmock/gmock.h>

#include <climits>
#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Tev::Framework::GenericLogger::LevelDebug;
using Tev::Framework::GenericLogger::LevelError;
using Tev::Framework::GenericLogger::LevelInfo;
using Tev::Framework::GenericLogger::Logger;
using Tev::Framework::GenericLogger::LoggingLevel;
using Tev::Framework::GenericLogger::LogStream;
using TevTest::LoggingTest;
using TevTest::Message;
using TevTest::RecordingBackend;

class LogStreamTest : public LoggingTest {
protected:
    void SetUp() override
    {
        backend = &install();
        log = logger();
    }

    std::vector<std::string> texts() const { return backend->channelFor(name())->texts(); }
    std::string last() const { return texts().back(); }

    template <typename T>
    void expectFormatsLikeOstream(const T& value)
    {
        std::ostringstream expected;
        expected << "<" << value << ">";
        LogStream(log, LevelError) << "<" << value << ">";
        EXPECT_EQ(last(), expected.str());
    }

    RecordingBackend* backend = nullptr;
    Logger* log = nullptr;
};

TEST_F(LogStreamTest, FormatsValuesLikeAFreshOstream)
{
    expectFormatsLikeOstream(0);
    expectFormatsLikeOstream(-42);
    expectFormatsLikeOstream(INT_MIN);
    expectFormatsLikeOstream(LLONG_MIN);
    expectFormatsLikeOstream(ULLONG_MAX);
    expectFormatsLikeOstream(42u);
    expectFormatsLikeOstream(42ul);
    expectFormatsLikeOstream(static_cast<short>(-7));
    expectFormatsLikeOstream(static_cast<unsigned short>(65535));
    expectFormatsLikeOstream('x');
    expectFormatsLikeOstream(static_cast<signed char>('y'));
    expectFormatsLikeOstream(static_cast<unsigned char>('z'));
    expectFormatsLikeOstream(true);
    expectFormatsLikeOstream(std::string("a string"));
    expectFormatsLikeOstream(std::string_view("a view"));
    expectFormatsLikeOstream(std::string());
    for (double d : {0.0, -0.0, 0.1, 1.0 / 3.0, 123456.0, 1234567.0, 1e-5, 1e-4, 2.5e300, -7.25,
                     std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::denorm_min()})
        expectFormatsLikeOstream(d);
    expectFormatsLikeOstream(3.14159265f);
    expectFormatsLikeOstream(1.5L);
    int object = 0;
    expectFormatsLikeOstream(static_cast<const void*>(&object));
}

TEST_F(LogStreamTest, CStringsOfEveryKind)
{
    char mutableText[] = "mutable";
    const char* constant = "constant";
    LogStream(log, LevelError) << mutableText << '|' << constant << '|' << "literal";
    EXPECT_EQ(last(), "mutable|constant|literal");
}

TEST_F(LogStreamTest, NullCStringInsertsNothingAndTheRestFollows)
{
    const char* none = nullptr;
    char* mutableNone = nullptr;
    LogStream(log, LevelError) << "a" << none << mutableNone << "b" << 1;
    EXPECT_EQ(last(), "ab1");
}

TEST_F(LogStreamTest, ManipulatorsApplyAsOnAnOstreamAndDoNotLeakIntoTheNextMessage)
{
    std::ostringstream expected;
    expected << std::hex << 255 << ' ' << std::setw(6) << std::setfill('.') << 42 << '|' << std::setw(4) << "ab"
             << '|' << std::showpos << 5 << std::noshowpos << ' ' << std::setprecision(3) << 3.14159 << ' '
             << std::boolalpha << true << ' ' << std::dec << 255;
    LogStream(log, LevelError) << std::hex << 255 << ' ' << std::setw(6) << std::setfill('.') << 42 << '|'
                               << std::setw(4) << "ab" << '|' << std::showpos << 5 << std::noshowpos << ' '
                               << std::setprecision(3) << 3.14159 << ' ' << std::boolalpha << true << ' '
                               << std::dec << 255;
    EXPECT_EQ(last(), expected.str());

    // The same thread reuses its buffer: the next message starts from a fresh state.
    LogStream(log, LevelError) << 255 << ' ' << 3.14159 << ' ' << true << ' ' << std::setw(0) << 'x';
    EXPECT_EQ(last(), "255 3.14159 1 x");
    LogStream(log, LevelError) << 255 << ' ' << "plain";
    EXPECT_EQ(last(), "255 plain");
}

TEST_F(LogStreamTest, FormatsInTheClassicLocaleWhateverTheGlobalOne)
{
    struct Grouping : std::numpunct<char> {
        char do_thousands_sep() const override { return ','; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Grouping));
    LogStream(log, LevelError) << 1234567 << ' ' << std::setw(0) << 1234567;
    std::locale::global(previous);
    EXPECT_EQ(last(), "1234567 1234567");
}

TEST_F(LogStreamTest, StreamAccessorIsAtLevelTenAndDeliversEvenAnEmptyMessage)
{
    log->stream();
    log->stream() << "text";
    EXPECT_EQ(backend->channelFor(name())->messages(),
              (std::vector<Message>{{LevelDebug, ""}, {LevelDebug, "text"}}));
}

TEST_F(LogStreamTest, TwoStreamsAliveOnOneThreadKeepTheirOwnText)
{
    {
        LogStream first(log, LevelError);
        LogStream second(log, LevelInfo);
        first << "first " << 1;
        second << "second " << 2.5;
        first << " more " << std::hex << 255;
        second << " more " << 255;
    }
    EXPECT_EQ(backend->channelFor(name())->messages(),
              (std::vector<Message>{{LevelInfo, "second 2.5 more 255"}, {LevelError, "first 1 more ff"}}));
}

TEST_F(LogStreamTest, StreamsEndingOutOfOrderOnOneThread)
{
    std::vector<LogStream> streams;
    for (int i = 0; i < 6; ++i) {
        streams.emplace_back(log, LevelError);
        streams.back() << "stream " << i;
    }
    streams.erase(streams.begin() + 2);
    streams.erase(streams.begin());
    streams.clear();
    EXPECT_THAT(texts(), ::testing::UnorderedElementsAre("stream 0", "stream 1", "stream 2", "stream 3", "stream 4",
                                                         "stream 5"));
    EXPECT_EQ(texts()[0], "stream 2");
    EXPECT_EQ(texts()[1], "stream 0");
}

struct Noisy {
    Logger* other;
};

std::ostream& operator<<(std::ostream& out, const Noisy& noisy)
{
    LogStream(noisy.other, LevelError) << "inner " << 7;
    return out << "noisy";
}

TEST_F(LogStreamTest, ComposingAMessageMayLogAnother)
{
    Logger* other = logger("other");
    LogStream(log, LevelError) << "before " << Noisy{other} << " after " << 1;
    EXPECT_EQ(last(), "before noisy after 1");
    EXPECT_EQ(backend->channelFor(name("other"))->texts(), std::vector<std::string>{"inner 7"});
}

TEST_F(LogStreamTest, MovedStreamDeliversOnce)
{
    auto make = [this] {
        LogStream stream(log, LevelError);
        stream << "made ";
        return stream;
    };
    {
        LogStream moved = make();
        moved << "then used";
        LogStream again(std::move(moved));
        again << " and moved";
    }
    EXPECT_EQ(texts(), std::vector<std::string>{"made then used and moved"});

    {
        LogStream target(log, LevelError);
        target << "replaced";
        target = make();
        EXPECT_EQ(texts().back(), "replaced");
        target << "assigned";
    }
    EXPECT_EQ(texts().back(), "made assigned");
    EXPECT_EQ(texts().size(), 3u);
}

TEST_F(LogStreamTest, NullLoggerDoesNothing)
{
    LogStream(nullptr, LevelError) << "nowhere" << 1 << 2.0 << std::hex << 3;
    EXPECT_FALSE(LogStream(nullptr, LevelError).active());
    EXPECT_TRUE(texts().empty());
}

TEST_F(LogStreamTest, LongMessagesArriveWholeAndTheBufferIsReusedAfterwards)
{
    const std::string big(300000, 'x');
    LogStream(log, LevelError) << big << "!";
    EXPECT_EQ(last(), big + "!");
    LogStream(log, LevelError) << "short";
    EXPECT_EQ(last(), "short");
}

TEST_F(LogStreamTest, StreamFinishedOnAnotherThread)
{
    LogStream stream(log, LevelError);
    stream << "started here";
    std::thread other([&stream] {
        stream << ", finished there";
        stream.deliver();
    });
    other.join();
    EXPECT_EQ(last(), "started here, finished there");
    LogStream(log, LevelError) << "and here again";
    EXPECT_EQ(last(), "and here again");
}

int evaluations = 0;
int counted(int value)
{
    ++evaluations;
    return value;
}

TEST_F(LogStreamTest, TevLogBelowTheThresholdEvaluatesNothing)
{
    evaluations = 0;
    TEV_LOG(log, LevelDebug) << "never " << counted(1);
    EXPECT_EQ(evaluations, 0);
    EXPECT_TRUE(texts().empty());

    TEV_LOG(log, LevelError) << "once " << counted(2);
    EXPECT_EQ(evaluations, 1);
    EXPECT_EQ(texts(), std::vector<std::string>{"once 2"});

    log->minLogLevel(LevelDebug);
    TEV_LOG(log, LevelDebug) << "now " << counted(3);
    EXPECT_EQ(evaluations, 2);
    EXPECT_EQ(backend->channelFor(name())->messages().back(), (Message{LevelDebug, "now 3"}));

    TEV_LOG(log, 0) << "level zero is never active " << counted(4);
    EXPECT_EQ(evaluations, 2);
    TEV_LOG(static_cast<Logger*>(nullptr), LevelError) << counted(5);
    EXPECT_EQ(evaluations, 2);
}

TEST_F(LogStreamTest, TevLogIsOneStatementUnderIfAndElse)
{
    bool elseTaken = false;
    for (bool condition : {true, false}) {
        if (condition)
            TEV_LOG(log, LevelError) << "then";
        else
            elseTaken = true;
    }
    EXPECT_TRUE(elseTaken);
    EXPECT_EQ(texts(), std::vector<std::string>{"then"});
}

TEST_F(LogStreamTest, ChannelFailureReachesTheCaller)
{
    backend->channelFor(name())->onLog = [](LoggingLevel, const char*) { throw std::runtime_error("channel"); };
    EXPECT_THROW(TEV_LOG(log, LevelError) << "x", std::runtime_error);
    EXPECT_THROW(LogStream(log, LevelError) << "y", std::runtime_error);
    EXPECT_THROW(log->stream() << "z", std::runtime_error);
    backend->channelFor(name())->onLog = nullptr;
    LogStream(log, LevelError) << "recovered";
    EXPECT_EQ(last(), "recovered");
}

TEST_F(LogStreamTest, ChannelFailureDuringUnwindingIsDroppedNotFatal)
{
    backend->channelFor(name())->onLog = [](LoggingLevel, const char*) { throw std::runtime_error("channel"); };
    bool caughtOriginal = false;
    try {
        LogStream stream(log, LevelError);
        stream << "partial";
        throw std::logic_error("the caller's own failure");
    } catch (const std::logic_error&) {
        caughtOriginal = true;
    }
    EXPECT_TRUE(caughtOriginal);
    EXPECT_EQ(last(), "partial");
}

} // namespace
