#include "Tev/Framework/StringHolder.h"

#include "AllocationProbe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Tev::Framework::StringHolder;

// Longer than a small-string buffer, so the characters live on the heap.
const std::string longText(100, 'x');

TEST(StringHolder, ContentStopsAtTheFirstNulAndIsNeverNull)
{
    const char withNul[] = {'a', 'b', '\0', 'c', '\0'};
    EXPECT_STREQ(StringHolder(withNul).c_str(), "ab");
    for (const StringHolder& empty : {StringHolder(), StringHolder(""), StringHolder(nullptr)}) {
        ASSERT_NE(empty.c_str(), nullptr);
        EXPECT_EQ(empty.c_str()[0], '\0');
    }
}

TEST(StringHolder, SelfAssignmentKeepsAndSelfAppendDoubles)
{
    StringHolder holder("ab");
    const StringHolder& alias = holder;
    holder = alias;
    EXPECT_STREQ(holder.c_str(), "ab");
    holder += holder;
    EXPECT_STREQ(holder.c_str(), "abab");
    // Each round outgrows the buffer, so the source moves while it is read.
    std::string model = holder.c_str();
    for (int round = 0; round < 10; ++round) {
        holder += holder;
        model += model;
        ASSERT_EQ(holder.c_str(), model) << "round " << round;
    }
}

TEST(StringHolder, CopiesShareNothing)
{
    StringHolder a("one");
    StringHolder b(a);
    a += StringHolder("-a");
    b += StringHolder("-b");
    EXPECT_STREQ(a.c_str(), "one-a");
    EXPECT_STREQ(b.c_str(), "one-b");

    const StringHolder source(longText.c_str());
    const char* sourceText = source.c_str();
    a = source;
    a += source;
    EXPECT_EQ(a.c_str(), longText + longText);
    EXPECT_EQ(source.c_str(), sourceText);
    EXPECT_EQ(source.c_str(), longText);
    a = StringHolder("z");
    EXPECT_STREQ(a.c_str(), "z");
}

TEST(StringHolder, OutOfMemoryChangesNothingAndLeaksNothing)
{
    TEV_REQUIRE_ALLOCATION_PROBE();
    const StringHolder source(longText.c_str());
    EXPECT_EQ(TevTest::failEachAllocationInTurn([] { StringHolder copy(longText.c_str()); }, [] {}), 2);
    EXPECT_EQ(TevTest::failEachAllocationInTurn([&] { StringHolder copy(source); }, [] {}), 2);

    StringHolder target("before");
    TevTest::failEachAllocationInTurn([&] { target = source; }, [&] { EXPECT_STREQ(target.c_str(), "before"); });
    EXPECT_EQ(target.c_str(), longText);
    EXPECT_GE(TevTest::failEachAllocationInTurn([&] { target += target; },
                                                [&] { EXPECT_EQ(target.c_str(), longText); }),
              1);
    EXPECT_EQ(target.c_str(), longText + longText);
}

} // namespace
