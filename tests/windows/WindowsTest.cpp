// The crisis log C:\tev.log held by one process against another, its CR LF line ends,
// and the names it refuses. The file is put back as it was found.
#include "Tev/Framework/CrisisLogging/CrisisLogger.h"
#include "Tev/Framework/Exceptions/FrameworkException.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const char* const logPath = "C:\\tev.log";

std::string readLog()
{
    std::ifstream in(logPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Puts the log back as it was found, whatever the test did.
struct LogRestorer {
    const bool existed = GetFileAttributesA(logPath) != INVALID_FILE_ATTRIBUTES;
    const std::string before = readLog();
    ~LogRestorer()
    {
        if (existed)
            std::ofstream(logPath, std::ios::binary | std::ios::trunc) << before;
        else
            DeleteFileA(logPath);
    }
};

// This program again, as `mode` (see main).
PROCESS_INFORMATION startChild(const wchar_t* mode)
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring line = std::wstring(L"\"") + program + L"\" " + mode;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
    return child;
}

DWORD exitCodeOf(PROCESS_INFORMATION child)
{
    DWORD code = 100;
    if (child.hProcess != nullptr && WaitForSingleObject(child.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return code;
}

// 0: opened and logged `message`; 1: refused with the documented message; 2: else.
int crisisChild(const char* message, bool hold)
{
    try {
        Tev::Framework::CrisisLogging::CrisisLogger::instance().log(message);
    } catch (const Tev::Framework::Exceptions::FrameworkException& e) {
        return std::strcmp(e.message(), "Error opening log file: 'C:\\tev.log'") == 0 ? 1 : 2;
    }
    if (hold) { // until the parent has tried a second process
        SetEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"TevTestHeld"));
        WaitForSingleObject(OpenEventW(SYNCHRONIZE, FALSE, L"TevTestRelease"), 60000);
    }
    return 0;
}

TEST(WindowsCrisisLog, HeldByOneProcessRefusedToAnotherLinesEndInCrLf)
{
    const LogRestorer restorer;
    const std::string& before = restorer.before;

    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, L"TevTestHeld");
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, L"TevTestRelease");
    const PROCESS_INFORMATION holder = startChild(L"--crisis-hold");
    ASSERT_NE(holder.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(held, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(exitCodeOf(startChild(L"--crisis-try")), 1u) << "a second process opened the held log";
    SetEvent(release);
    EXPECT_EQ(exitCodeOf(holder), 0u);
    EXPECT_EQ(exitCodeOf(startChild(L"--crisis-try")), 0u) << "the log stayed refused once let go";
    CloseHandle(held);
    CloseHandle(release);

    const std::string after = readLog();
    ASSERT_GT(after.size(), before.size());
    ASSERT_EQ(after.compare(0, before.size(), before), 0) << "earlier lines were changed";
    const std::string added = after.substr(before.size());
    const std::size_t closing = !before.empty() && before.back() != '\n' ? 2 : 0; // a cut line's end
    EXPECT_EQ(added.size(), closing + 2 * 12 + std::strlen(" - held\r\nmid\r\n") + std::strlen(" - tried\r\n"))
        << added;
    EXPECT_NE(added.find(" - held\r\nmid\r\n"), std::string::npos) << added;
    EXPECT_EQ(added.compare(added.size() - 10, 10, " - tried\r\n"), 0) << added;
}

TEST(WindowsCrisisLog, DirectoryAndSecondNameAreRefused)
{
    if (GetFileAttributesA(logPath) != INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "C:\\tev.log exists and is left alone";
    const char* const target = "C:\\tev-test-target.log";
    ASSERT_TRUE(CreateDirectoryA(logPath, nullptr));
    EXPECT_EQ(exitCodeOf(startChild(L"--crisis-try")), 1u) << "a directory was taken";
    RemoveDirectoryA(logPath);
    std::ofstream(target, std::ios::binary) << "not the log\n";
    EXPECT_TRUE(CreateHardLinkA(logPath, target, nullptr));
    EXPECT_EQ(exitCodeOf(startChild(L"--crisis-try")), 1u) << "a second name of another file was taken";
    EXPECT_EQ(readLog(), "not the log\n");
    DeleteFileA(logPath);
    DeleteFileA(target);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--crisis-hold") == 0)
        return crisisChild("held\nmid", true);
    if (argc == 2 && std::strcmp(argv[1], "--crisis-try") == 0)
        return crisisChild("tried", false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
