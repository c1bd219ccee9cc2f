#ifndef TEV_TESTS_ALLOCATIONPROBE_H
#define TEV_TESTS_ALLOCATIONPROBE_H

// Replaces operator new and delete of the test program (and so of the library, which
// reaches them through the dynamic linker), to fail chosen allocations, count live ones
// and watch what is freed. It needs no part of the framework itself.

#include "Tev/Framework/StringHolder.h"

#include <gtest/gtest.h>

#include <new>

namespace TevTest {

// On this thread, the n-th allocation from now (0: the next) fails; -1: none does.
void failAllocation(long n) noexcept;
long liveAllocations() noexcept;
// Called with every pointer that operator delete frees; null: none.
void watchDeletes(void (*hook)(void*)) noexcept;

// False where the library's allocations bypass the probe (the thread sanitizer owns
// operator new; a DLL has its own).
inline bool allocationProbeActive() noexcept
{
    static const bool reachesTheLibrary = [] {
        failAllocation(0);
        try {
            const Tev::Framework::StringHolder probe("probe");
        } catch (const std::bad_alloc&) {
            return true;
        }
        return false;
    }();
    failAllocation(-1);
    return reachesTheLibrary;
}

#define TEV_REQUIRE_ALLOCATION_PROBE()                                                                                 \
  if (!::TevTest::allocationProbeActive())                                                                             \
  GTEST_SKIP() << "allocations cannot be made to fail in this build"

// Runs `operation` with its first allocation failing, then its second, and so on until
// it completes; after each failure checks that nothing leaked and calls `afterFailure`.
// Returns the number of failures.
template <class Operation, class Check>
long failEachAllocationInTurn(Operation operation, Check afterFailure)
{
    for (long n = 0; n < 10000; ++n) {
        const long before = liveAllocations();
        failAllocation(n);
        try {
            operation();
            failAllocation(-1);
            return n;
        } catch (const std::bad_alloc&) {
            failAllocation(-1);
        }
        EXPECT_LE(liveAllocations(), before) << "leak after allocation " << n << " failed";
        afterFailure();
    }
    ADD_FAILURE() << "the operation never completes";
    return -1;
}

} // namespace TevTest

#endif
