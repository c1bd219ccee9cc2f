// tevframework.dll loaded (through a client DLL) and unloaded many times: each cycle
// must leave the process as it found it, its threads' slots and the host thread's too.
#include <gtest/gtest.h>

#include <windows.h>

#include <malloc.h>

namespace {

struct Usage {
    std::size_t heapBytes; // in use in the C runtime's heap, which the framework shares
    DWORD handles;
};

Usage usage()
{
    Usage now{0, 0};
    _HEAPINFO entry{};
    while (_heapwalk(&entry) == _HEAPOK)
        if (entry._useflag == _USEDENTRY)
            now.heapBytes += entry._size;
    GetProcessHandleCount(GetCurrentProcess(), &now.handles);
    return now;
}

void cycle()
{
    HMODULE client = LoadLibraryA("windows_unload_client.dll");
    ASSERT_NE(client, nullptr);
    ASSERT_NE(GetModuleHandleA("tevframework.dll"), nullptr);
    auto workload =
        reinterpret_cast<int (*)()>(reinterpret_cast<void (*)()>(GetProcAddress(client, "tevUnloadWorkload")));
    ASSERT_NE(workload, nullptr);
    EXPECT_EQ(workload(), 0);
    FreeLibrary(client);
    ASSERT_EQ(GetModuleHandleA("tevframework.dll"), nullptr) << "the framework stayed loaded";
}

TEST(WindowsUnload, TwoHundredCyclesLeaveNoGrowth)
{
    for (int i = 0; i < 20; ++i)
        ASSERT_NO_FATAL_FAILURE(cycle());
    const Usage before = usage();
    for (int i = 0; i < 200; ++i)
        ASSERT_NO_FATAL_FAILURE(cycle());
    const Usage after = usage();
    ASSERT_GT(before.heapBytes, 0u);
    EXPECT_LE(after.handles, before.handles + 4) << before.handles << " -> " << after.handles;
    // One block left per cycle would show: 200 cycles allow 4 KiB.
    EXPECT_LE(after.heapBytes, before.heapBytes + 4096) << before.heapBytes << " -> " << after.heapBytes;
}

} // namespace
