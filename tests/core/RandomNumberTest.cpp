#include "Tev/Framework/Framework.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

// The library draws from the C runtime's own generator, so a test can reseed it and
// replay its values with rand(). The offset added is the number of calls made so far
// in the process: every call in this program goes through draw(), which counts them.

namespace {

std::uint32_t callsMade = 0;
bool reseeded = false;

unsigned short draw()
{
    ++callsMade;
    return Tev::Framework::Framework::randomNumber();
}

void reseed(unsigned seed)
{
    reseeded = true;
    std::srand(seed);
}

// The generator's next k values, each plus its call number, from `first` on.
std::vector<unsigned short> replay(unsigned seed, std::uint32_t first, std::uint32_t count)
{
    std::srand(seed);
    std::vector<unsigned short> values;
    for (std::uint32_t k = first; k < first + count; ++k) {
        values.push_back(static_cast<unsigned short>((static_cast<std::uint64_t>(std::rand()) + k) % 65536u));
    }
    return values;
}

TEST(RandomNumber, AddsTheCallNumberToTheGeneratorsValueModulo65536)
{
    // Enough calls for the offset itself to pass 65536; in a process of its own the
    // first value is the generator's, unchanged.
    const std::uint32_t first = callsMade, calls = 70000;
    reseed(4242);
    std::vector<unsigned short> values;
    for (std::uint32_t i = 0; i < calls; ++i) {
        values.push_back(draw());
    }
    const std::vector<unsigned short> expected = replay(4242, first, calls);
    for (std::uint32_t i = 0; i < calls; ++i) {
        ASSERT_EQ(values[i], expected[i]) << "call " << first + i;
    }
}

TEST(RandomNumber, LoadSeedsWithTheMillisecondsOfTheClock)
{
    if (callsMade != 0 || reseeded) {
        GTEST_SKIP() << "needs a process of its own";
    }
    const unsigned short first = draw();
    bool matched = false;
    for (unsigned millisecond = 0; millisecond < 1000 && !matched; ++millisecond) {
        matched = replay(millisecond, 0, 1)[0] == first;
    }
    EXPECT_TRUE(matched) << first << " comes from no seed between 0 and 999";
}

TEST(RandomNumber, ConcurrentCallsGetOneValueAndOneCallNumberEach)
{
#if defined(TEV_RAND_PER_THREAD)
    GTEST_SKIP() << "the runtime keeps rand per thread: reseeding here moves this thread's generator "
                    "only (tests/windows checks one sequence across threads)";
#endif
    const int threads = 8, callsPerThread = 50000;
    const std::uint32_t first = callsMade, total = threads * callsPerThread;
    reseed(99);
    std::vector<std::vector<unsigned short>> drawn(threads);
    std::atomic<int> ready{0};
    std::vector<std::thread> workers;
    for (auto& values : drawn) {
        workers.emplace_back([&values, &ready] {
            for (++ready; ready < threads;) { // start together, so the calls overlap
                std::this_thread::yield();
            }
            for (int i = 0; i < callsPerThread; ++i) {
                values.push_back(Tev::Framework::Framework::randomNumber());
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    callsMade += total;

    // The draws were made one at a time in some order: the k-th paired the generator's
    // k-th value with call number first + k.
    std::vector<unsigned short> all;
    for (const auto& values : drawn) {
        all.insert(all.end(), values.begin(), values.end());
    }
    std::vector<unsigned short> expected = replay(99, first, total);
    std::sort(all.begin(), all.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(all == expected);

    // The count went up by exactly one per call.
    reseed(5);
    const unsigned short next = draw();
    EXPECT_EQ(next, replay(5, first + total, 1)[0]);
}

} // namespace
