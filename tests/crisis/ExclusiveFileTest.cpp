#include "Tev/Platform/ExclusiveFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using Tev::Platform::openExclusiveAppend;

class CrisisExclusiveFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/tev-crisis-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const char* name) const { return (dir_ / name).string(); }

    static std::string contents(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static std::size_t openDescriptors()
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
    }

    fs::path dir_;
};

TEST_F(CrisisExclusiveFile, CreatesAMissingFileForItsOwnerOnly)
{
    const std::string log = path("new.log");
    const mode_t previous = ::umask(022);
    std::FILE* file = openExclusiveAppend(log.c_str());
    ::umask(previous);
    ASSERT_NE(file, nullptr);

    struct stat status {};
    ASSERT_EQ(::stat(log.c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777U, 0600U);
    EXPECT_NE(::fcntl(::fileno(file), F_GETFD) & FD_CLOEXEC, 0) << "a program run by the process would inherit it";
    std::fclose(file);
}

TEST_F(CrisisExclusiveFile, KeepsExistingContentReadsItAndAppends)
{
    const std::string log = path("old.log");
    std::ofstream(log) << "old\n";
    std::FILE* file = openExclusiveAppend(log.c_str());
    ASSERT_NE(file, nullptr);

    std::rewind(file);
    char first[16] = {};
    ASSERT_NE(std::fgets(first, sizeof first, file), nullptr);
    EXPECT_STREQ(first, "old\n");
    // Writes go to the end even after reading from the start.
    std::fputs("new\n", file);
    std::fflush(file);
    EXPECT_EQ(contents(log), "old\nnew\n");
    std::fclose(file);
}

TEST_F(CrisisExclusiveFile, RefusesAnythingButARegularFile)
{
    const std::string target = path("target.log");
    std::ofstream(target) << "target\n";
    const std::string toFile = path("link.log");
    const std::string dangling = path("dangling.log");
    const std::string missingTarget = path("created-through-link.log");
    const std::string directory = path("dir.log");
    const std::string fifo = path("fifo.log");
    ASSERT_EQ(::symlink(target.c_str(), toFile.c_str()), 0);
    ASSERT_EQ(::symlink(missingTarget.c_str(), dangling.c_str()), 0);
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    const std::size_t descriptors = openDescriptors();
    for (const std::string& refused : {toFile, dangling, directory, fifo, std::string("/dev/null")}) {
        std::FILE* file = openExclusiveAppend(refused.c_str());
        EXPECT_EQ(file, nullptr) << refused;
        if (file != nullptr)
            std::fclose(file);
    }
    EXPECT_EQ(openDescriptors(), descriptors) << "a refused open left its descriptor open";
    EXPECT_EQ(contents(target), "target\n");
    EXPECT_FALSE(fs::exists(missingTarget)) << "a dangling link was followed";
}

TEST_F(CrisisExclusiveFile, RefusesAMissingDirectoryAndANullPath)
{
    EXPECT_EQ(openExclusiveAppend(path("no/such/dir.log").c_str()), nullptr);
    EXPECT_EQ(openExclusiveAppend(nullptr), nullptr);
}

TEST_F(CrisisExclusiveFile, HoldsTheFileUntilClosed)
{
    const std::string log = path("held.log");
    std::FILE* first = openExclusiveAppend(log.c_str());
    ASSERT_NE(first, nullptr);

    // flock locks belong to the open file description: a second open in this
    // process is refused like one in another process.
    const std::size_t descriptors = openDescriptors();
    EXPECT_EQ(openExclusiveAppend(log.c_str()), nullptr);
    EXPECT_EQ(openDescriptors(), descriptors) << "the refused open left its descriptor open";
    const int other = ::open(log.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    EXPECT_NE(::flock(other, LOCK_SH | LOCK_NB), 0) << "the hold is not an exclusive flock";
    ::close(other);

    std::fclose(first);
    std::FILE* again = openExclusiveAppend(log.c_str());
    EXPECT_NE(again, nullptr) << "closing did not release the file";
    if (again != nullptr)
        std::fclose(again);
}

} // namespace
