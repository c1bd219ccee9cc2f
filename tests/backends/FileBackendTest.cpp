#include "LoggingTest.h"

#include "Tev/Framework/Framework.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

using namespace Tev::Framework::GenericLogger;
namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

const char* const properties[] = {"Tev.Backend.File.Path", "Tev.Backend.File.MaxSize", "Tev.Backend.File.MaxFiles"};

class FileBackend : public TevTest::LoggingTest {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tev-file-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        LoggingTest::TearDown();
        for (const char* name : properties)
            if (store()->hasProperty(wide(name)))
                store()->clearProperty(wide(name));
        fs::remove_all(dir_);
    }
    static Tev::Framework::Management::PropertyManager* store() { return Tev::Framework::Framework::propertyManager(); }
    static std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
    void set(int property, const std::string& value) { store()->setProperty(wide(properties[property]), wide(value)); }
    std::string read(const std::string& file) const
    {
        std::ostringstream text;
        text << std::ifstream(dir_ / file).rdbuf();
        return text.str();
    }
    fs::path dir_;
};

TEST_F(FileBackend, EachLineCarriesTimeLevelNameAndLoggerName)
{
    set(0, (dir_ / "app.log").string());
    Logger::installBackend("file");
    const struct {
        int level;
        const char* name;
    } cases[] = {{10, "debug"},    {20, "info"},  {30, "info"},       {40, "warning"}, {50, "error"},
                 {60, "critical"}, {-7, "trace"}, {1000, "critical"}, {39, "info"},    {45, "warning"}};
    std::string expected;
    for (const auto& c : cases) {
        LogStream(logger(), static_cast<LoggingLevel>(c.level)) << "level " << c.level;
        expected += "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} " + std::string(c.name) + " \\[" +
                    name() + "\\] level " + std::to_string(c.level) + "\n";
    }
    Logger::closeAllLoggers();
    EXPECT_THAT(read("app.log"), MatchesRegex(expected));
}

TEST_F(FileBackend, RotatesAtTheSizeAndKeepsThatManyFiles)
{
    set(0, (dir_ / "app.log").string());
    set(1, "300");
    set(2, "2");
    Logger::installBackend("file");
    for (int i = 10; i < 40; ++i)
        LogStream(logger(), LevelInfo) << "message " << i;
    Logger::closeAllLoggers();

    EXPECT_FALSE(fs::exists(dir_ / "app.3.log"));
    std::string kept;
    for (const char* file : {"app.2.log", "app.1.log", "app.log"}) {
        EXPECT_LE(fs::file_size(dir_ / file), 300u) << file;
        kept += read(file);
    }
    // The newest lines, in order, none lost between the kept files.
    const std::size_t first = std::stoul(kept.substr(kept.find("message ") + 8, 2));
    EXPECT_GT(first, 10u);
    for (std::size_t i = first; i < 40; ++i)
        EXPECT_THAT(kept, HasSubstr("] message " + std::to_string(i) + "\n"));
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), static_cast<long>(40 - first));
}

TEST_F(FileBackend, FlushesAtWarningAndAbove)
{
    set(0, (dir_ / "app.log").string());
    Logger::installBackend("file");
    LogStream(logger(), static_cast<LoggingLevel>(39)) << "buffered";
    EXPECT_EQ(read("app.log"), "");
    LogStream(logger(), LevelWarning) << "flushed";
    EXPECT_THAT(read("app.log"), MatchesRegex(".*buffered\n.*flushed\n"));
}

TEST_F(FileBackend, HandsOutOneChannelPerLoggerThatOutlivesItsRelease)
{
    set(0, (dir_ / "app.log").string());
    LoggerBackend* backend = Logger::installBackend("file");
    Logger* log = logger();
    install(); // every logger gets its channels again: the file channel is the same one
    LoggingChannel* channel = backend->createChannel(name().c_str());
    EXPECT_EQ(backend->createChannel(name().c_str()), channel);
    EXPECT_NE(backend->createChannel("other"), channel);
    channel->release();
    LogStream(log, LevelError) << "still open";
    EXPECT_THAT(read("app.log"), HasSubstr("] still open\n"));
}

TEST_F(FileBackend, WritesInTheWorkingDirectoryByDefault)
{
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    Logger::installBackend("file");
    LogStream(logger(), LevelError) << "default";
    fs::current_path(before);
    EXPECT_THAT(read("tev-framework.log"), HasSubstr("] default\n"));
}

TEST_F(FileBackend, RefusesBadSettingsNamingPropertyAndValue)
{
    std::ofstream(dir_ / "plain");
    const struct {
        int property;
        std::string value;
    } cases[] = {{1, "0"},
                 {1, "12k"},
                 {1, ""},
                 {1, "-1"},
                 {1, "99999999999999999999999"},
                 {2, "200001"},
                 {2, "x"},
                 {0, ""},
                 {0, (dir_ / "plain/app.log").string()}};
    for (const auto& c : cases) {
        set(c.property, c.value);
        try {
            Logger::loadBackend("file");
            ADD_FAILURE() << c.value;
        } catch (const std::invalid_argument& error) {
            EXPECT_THAT(error.what(), HasSubstr("Property " + std::string(properties[c.property]) +
                                                " has the bad value '" + c.value + "'"));
        }
        store()->clearProperty(wide(properties[c.property]));
    }
}

} // namespace
