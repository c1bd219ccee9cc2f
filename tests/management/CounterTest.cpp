#include "Tev/Framework/Counting/Counter.h"

#include "AllocationProbe.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

using Tev::Framework::Counting::Counter;

// The counter of `name`, back at 0 (counters outlive a test when tests share a process).
Counter& fresh(const char* name)
{
    Counter& counter = Counter::counter(name);
    counter.reset();
    return counter;
}

TEST(Counter, OneCounterPerExactName)
{
    Counter& lower = fresh("ct.name");
    EXPECT_EQ(&Counter::counter("ct.name"), &lower);
    EXPECT_EQ(lower.next(), 0);
    EXPECT_EQ(lower.next(), 1);
    EXPECT_EQ(Counter::counter("ct.name").next(), 2);
    for (const char* other : {"ct.Name", "ct.nam", ""}) {
        EXPECT_NE(&fresh(other), &lower);
        EXPECT_EQ(Counter::counter(other).next(), 0);
    }
    // The name is copied, not kept.
    char buffer[] = "ct.buffer";
    Counter& buffered = Counter::counter(buffer);
    std::strcpy(buffer, "ct.BUFFER");
    EXPECT_EQ(&Counter::counter("ct.buffer"), &buffered);
    EXPECT_THROW(Counter::counter(nullptr), std::invalid_argument);
}

TEST(Counter, ResetAndAssignmentSetTheValueOnly)
{
    Counter& a = fresh("ct.a");
    Counter& b = fresh("ct.b");
    for (int i = 0; i < 5; ++i) {
        a.next();
        b.next();
    }
    a.reset();
    EXPECT_EQ(a.next(), 0);
    EXPECT_EQ(&(a = b), &a);
    EXPECT_EQ(a.next(), 5);
    EXPECT_EQ(a.next(), 6);
    EXPECT_EQ(b.next(), 5);
    EXPECT_EQ(&Counter::counter("ct.a"), &a);
}

TEST(Counter, WrapsFromTheLargestToTheSmallestInt)
{
    Counter& counter = fresh("ct.wrap");
    for (long long i = 0; i < INT_MAX; ++i) { // no shortcut to get there
        counter.next();
    }
    EXPECT_EQ(counter.next(), INT_MAX);
    EXPECT_EQ(counter.next(), INT_MIN);
    EXPECT_EQ(counter.next(), INT_MIN + 1);
}

TEST(Counter, OutOfMemoryEntersNothing)
{
    TEV_REQUIRE_ALLOCATION_PROBE();
    static int run = 0; // a new name each time
    const std::string name = "ct.oom." + std::to_string(run++) + std::string(60, 'n');
    Counter* entered = nullptr;
    EXPECT_GE(TevTest::failEachAllocationInTurn([&] { entered = &Counter::counter(name.c_str()); }, [] {}), 3);
    EXPECT_EQ(&Counter::counter(name.c_str()), entered);
    EXPECT_EQ(entered->next(), 0);
}

} // namespace
