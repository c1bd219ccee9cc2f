// The crisis log C:\tev.log held by one process against another, its CR LF line ends,
// and the names it refuses. The file is put back as it was found.
#include "Tev/Framework/CrisisLogging/CrisisLogger.h"
#include "Tev/Framework/Exceptions/FrameworkException.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <future>
#include <iterator>
#include <string>

namespace {

const char* const logPath = "C:\\tev.log";

std::string readLog()
{
    std::ifstream in(logPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// This program again, as `mode` (see main): its exit code, 100 if it did not start or
// did not end within a minute.
DWORD runChild(const wchar_t* mode)
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring line = std::wstring(L"\"") + program + L"\" " + mode;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    DWORD code = 100;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child) &&
        WaitForSingleObject(child.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return code;
}

// The child: 0 if it opened the log and logged, 1 if refused with the documented message,
// 2 else; `hold` keeps the log open until the parent has tried a second process.
int crisisChild(bool hold)
{
    try {
        Tev::Framework::CrisisLogging::CrisisLogger::instance().log(hold ? "held\nmid" : "tried");
    } catch (const Tev::Framework::Exceptions::FrameworkException& e) {
        return std::strcmp(e.message(), "Error opening log file: 'C:\\tev.log'") == 0 ? 1 : 2;
    }
    if (hold) {
        SetEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"TevTestHeld"));
        WaitForSingleObject(OpenEventW(SYNCHRONIZE, FALSE, L"TevTestRelease"), 60000);
    }
    return 0;
}

TEST(WindowsCrisisLog, HeldByOneProcessRefusedToAnotherLinesEndInCrLf)
{
    const bool existed = GetFileAttributesA(logPath) != INVALID_FILE_ATTRIBUTES;
    const std::string before = readLog();
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, L"TevTestHeld");
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, L"TevTestRelease");
    std::future<DWORD> holder = std::async(std::launch::async, runChild, L"--crisis-hold");
    EXPECT_EQ(WaitForSingleObject(held, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(runChild(L"--crisis-try"), 1u) << "a second process opened the held log";
    SetEvent(release);
    EXPECT_EQ(holder.get(), 0u);
    EXPECT_EQ(runChild(L"--crisis-try"), 0u) << "the log stayed refused once let go";
    CloseHandle(held);
    CloseHandle(release);
    const std::string after = readLog();
    if (existed) // put back as it was found
        std::ofstream(logPath, std::ios::binary) << before;
    else
        DeleteFileA(logPath);

    ASSERT_TRUE(after.size() > before.size() && after.compare(0, before.size(), before) == 0)
        << "earlier lines were changed";
    const std::string added = after.substr(before.size()), heldLines = " - held\r\nmid\r\n", tried = " - tried\r\n";
    const std::size_t closing = !before.empty() && before.back() != '\n' ? 2 : 0;         // a cut line's end
    EXPECT_EQ(added.size(), closing + 2 * 12 + heldLines.size() + tried.size()) << added; // 12: the time stamps
    EXPECT_NE(added.find(heldLines), std::string::npos) << added;
    EXPECT_EQ(added.compare(added.size() - tried.size(), tried.size(), tried), 0) << added;
}

TEST(WindowsCrisisLog, DirectoryAndSecondNameAreRefused)
{
    if (GetFileAttributesA(logPath) != INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "C:\\tev.log exists and is left alone";
    const char* const target = "C:\\tev-test-target.log";
    ASSERT_TRUE(CreateDirectoryA(logPath, nullptr));
    EXPECT_EQ(runChild(L"--crisis-try"), 1u) << "a directory was taken";
    RemoveDirectoryA(logPath);
    std::ofstream(target, std::ios::binary) << "not the log\n";
    EXPECT_TRUE(CreateHardLinkA(logPath, target, nullptr));
    EXPECT_EQ(runChild(L"--crisis-try"), 1u) << "a second name of another file was taken";
    EXPECT_EQ(readLog(), "not the log\n");
    DeleteFileA(logPath);
    DeleteFileA(target);
}

} // namespace

int main(int argc, char** argv)
{
    for (const bool hold : {true, false})
        if (argc == 2 && std::strcmp(argv[1], hold ? "--crisis-hold" : "--crisis-try") == 0)
            return crisisChild(hold);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
