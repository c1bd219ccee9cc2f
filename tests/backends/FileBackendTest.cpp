#include "Recording.h"

#include "Tev/Framework/Framework.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace TevTest;
namespace fs = std::filesystem;
using ::testing::HasSubstr;

const std::wstring pathSetting = L"Tev.Backend.File.Path";

// Each test writes into a temporary folder of its own, removed afterwards.
class FileBackend : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tev-file-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        set(L"Path", (dir / "app.log").string());
    }
    void TearDown() override
    {
        resetLogging();
        for (const wchar_t* setting : {L"Path", L"MaxSize", L"MaxFiles"})
            if (store().hasProperty(std::wstring(L"Tev.Backend.File.") + setting))
                store().clearProperty(std::wstring(L"Tev.Backend.File.") + setting);
        fs::remove_all(dir);
    }
    static Tev::Framework::Management::PropertyManager& store()
    {
        return *Tev::Framework::Framework::propertyManager();
    }
    static void set(const wchar_t* setting, const std::string& value)
    {
        store().setProperty(std::wstring(L"Tev.Backend.File.") + setting, std::wstring(value.begin(), value.end()));
    }
    std::string read(const std::string& file) const
    {
        std::ostringstream text;
        text << std::ifstream(dir / file).rdbuf();
        return text.str();
    }
    fs::path dir;
};

TEST_F(FileBackend, WritesTimeLevelNameAndLoggerNameAndFlushesFromWarningOn)
{
    Logger::installBackend("file");
    const std::pair<int, const char*> cases[] = {{-7, "trace"},    {10, "debug"},     {19, "debug"}, {20, "info"},
                                                 {39, "info"},     {40, "warning"},   {50, "error"}, {59, "error"},
                                                 {60, "critical"}, {1000, "critical"}};
    std::string expected;
    for (const auto& [level, name] : cases) {
        LogStream(Logger::getLogger("f"), static_cast<LoggingLevel>(level)) << "level " << level;
        expected += "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}\\.[0-9]{3} " + std::string(name) + " \\[f\\] level " +
                    std::to_string(level) + "\n";
        EXPECT_EQ(read("app.log").empty(), level < 40) << "below 40 a line waits; at 40 all go out";
    }
    Logger::closeAllLoggers();
    EXPECT_THAT(read("app.log"), ::testing::MatchesRegex(expected));
}

TEST_F(FileBackend, RotatesAtTheSizeKeepingThatManyFilesAndTheChannelPerLogger)
{
    set(L"MaxSize", "300");
    set(L"MaxFiles", "2");
    LoggerBackend* backend = Logger::installBackend("file");
    Journal journal;
    RecordingBackend other("B", journal);
    Logger::installBackend(&other); // every logger is given its channels again
    LoggingChannel* channel = backend->createChannel("f");
    EXPECT_EQ(backend->createChannel("f"), channel) << "one channel per logger, handed out again";
    channel->release(); // and it outlives its release: the logger may still hold it
    for (int i = 10; i < 40; ++i)
        LogStream(Logger::getLogger("f"), LevelInfo) << "message " << i;
    resetLogging({&other});
    EXPECT_FALSE(fs::exists(dir / "app.3.log"));
    std::string kept;
    for (const char* file : {"app.2.log", "app.1.log", "app.log"}) {
        EXPECT_LE(fs::file_size(dir / file), 300u) << file;
        kept += read(file);
    }
    const int first = std::stoi(kept.substr(kept.find("message ") + 8, 2));
    EXPECT_GT(first, 10);
    for (int i = first; i < 40; ++i)
        EXPECT_THAT(kept, HasSubstr("] message " + std::to_string(i) + "\n")) << "the newest lines, in order";
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 40 - first);
}

TEST_F(FileBackend, RefusesBadSettingsAndWritesInTheWorkingFolderByDefault)
{
    std::ofstream(dir / "plain");
    const std::pair<const wchar_t*, std::string> cases[] = {{L"MaxSize", "0"},
                                                            {L"MaxSize", "12k"},
                                                            {L"MaxSize", ""},
                                                            {L"MaxSize", "-1"},
                                                            {L"MaxSize", "99999999999999999999"},
                                                            {L"MaxFiles", "200001"},
                                                            {L"Path", ""},
                                                            {L"Path", (dir / "plain/a").string()}};
    for (const auto& [setting, value] : cases) {
        set(setting, value);
        const std::string name(setting, setting + std::wcslen(setting));
        EXPECT_THAT([] { Logger::loadBackend("file"); },
                    ::testing::ThrowsMessage<std::invalid_argument>(
                        HasSubstr("Property Tev.Backend.File." + name + " has the bad value '" + value + "'")));
        set(setting, name == "Path" ? (dir / "app.log").string() : "5");
    }
    store().clearProperty(pathSetting);
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    Logger::installBackend("file");
    fs::current_path(before);
    LogStream(Logger::getLogger("f"), LevelError) << "default";
    EXPECT_THAT(read("tev-framework.log"), HasSubstr("] default\n"));
}

} // namespace
