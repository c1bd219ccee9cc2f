#include "Recording.h"

#include "Tev/Framework/Framework.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

using namespace Tev::Framework::GenericLogger;
namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

enum Setting { Path, MaxSize, MaxFiles };
const char* const settings[] = {"Tev.Backend.File.Path", "Tev.Backend.File.MaxSize", "Tev.Backend.File.MaxFiles"};

class FileBackend : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tev-file-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        set(Path, (dir_ / "app.log").string());
    }
    void TearDown() override
    {
        TevTest::resetLogging();
        for (const char* setting : settings)
            if (store()->hasProperty(wide(setting)))
                store()->clearProperty(wide(setting));
        fs::remove_all(dir_);
    }
    static Tev::Framework::Management::PropertyManager* store() { return Tev::Framework::Framework::propertyManager(); }
    static std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
    static void set(Setting setting, const std::string& value)
    {
        store()->setProperty(wide(settings[setting]), wide(value));
    }
    std::string read(const std::string& file) const
    {
        std::ostringstream text;
        text << std::ifstream(dir_ / file).rdbuf();
        return text.str();
    }
    static Logger* logger() { return Logger::getLogger("file.test"); }
    fs::path dir_;
};

TEST_F(FileBackend, WritesTimeLevelNameAndLoggerNameAndFlushesFromWarningOn)
{
    Logger::installBackend("file");
    const struct {
        int level;
        const char* name;
    } cases[] = {{-7, "trace"},   {10, "debug"}, {19, "debug"}, {20, "info"},     {39, "info"},
                 {40, "warning"}, {50, "error"}, {59, "error"}, {60, "critical"}, {1000, "critical"}};
    std::string expected;
    for (const auto& c : cases) {
        LogStream(logger(), static_cast<LoggingLevel>(c.level)) << "level " << c.level;
        expected += "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} " + std::string(c.name) + " \\[file.test\\] level " + std::to_string(c.level) + "\n";
        // Below 40 a line waits in the buffer; at 40 it goes out with all before it.
        EXPECT_EQ(read("app.log").empty(), c.level < 40) << c.level;
    }
    Logger::closeAllLoggers();
    EXPECT_THAT(read("app.log"), MatchesRegex(expected));
}

TEST_F(FileBackend, RotatesAtTheSizeAndKeepsThatManyFiles)
{
    set(MaxSize, "300");
    set(MaxFiles, "2");
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
    // The newest lines in order, none lost between the files.
    const int first = std::stoi(kept.substr(kept.find("message ") + 8, 2));
    EXPECT_GT(first, 10);
    for (int i = first; i < 40; ++i)
        EXPECT_THAT(kept, HasSubstr("] message " + std::to_string(i) + "\n"));
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 40 - first);
}

TEST_F(FileBackend, HandsOutOneChannelPerLoggerThatOutlivesItsRelease)
{
    LoggerBackend* backend = Logger::installBackend("file");
    Logger* log = logger();
    TevTest::Journal journal;
    TevTest::RecordingBackend other("B", journal);
    Logger::installBackend(&other); // every logger is given its channels again
    LoggingChannel* channel = backend->createChannel("file.test");
    EXPECT_EQ(backend->createChannel("file.test"), channel);
    EXPECT_NE(backend->createChannel("other"), channel);
    channel->release();
    LogStream(log, LevelError) << "still open";
    EXPECT_THAT(read("app.log"), HasSubstr("] still open\n"));
    TevTest::resetLogging({&other});
}

TEST_F(FileBackend, RefusesBadSettingsNamingPropertyAndValue)
{
    std::ofstream(dir_ / "plain");
    const struct {
        Setting setting;
        std::string value;
    } cases[] = {{MaxSize, "0"},
                 {MaxSize, "12k"},
                 {MaxSize, ""},
                 {MaxSize, "-1"},
                 {MaxSize, "99999999999999999999"},
                 {MaxFiles, "200001"},
                 {Path, ""},
                 {Path, (dir_ / "plain/app.log").string()}};
    for (const auto& c : cases) {
        set(c.setting, c.value);
        EXPECT_THAT([] { Logger::loadBackend("file"); },
                    ::testing::ThrowsMessage<std::invalid_argument>(HasSubstr(
                        "Property " + std::string(settings[c.setting]) + " has the bad value '" + c.value + "'")));
        set(c.setting, c.setting == Path ? (dir_ / "app.log").string() : "5");
    }
}

TEST_F(FileBackend, WritesInTheWorkingDirectoryByDefault)
{
    store()->clearProperty(wide(settings[Path]));
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    Logger::installBackend("file");
    fs::current_path(before);
    LogStream(logger(), LevelError) << "default";
    EXPECT_THAT(read("tev-framework.log"), HasSubstr("] default\n"));
}

} // namespace
