#include "Tev/Framework/Management/MemoryManager/Allocation.h"
#include "Tev/Framework/Management/MemoryManager/Registry.h"

#include "AllocationProbe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

namespace MM = Tev::Framework::Management::MemoryManager;

std::atomic<int> created{0}, destroyed{0}, otherCalls{0};

struct Tracked : MM::IRegisteredObject {
    Tracked() { ++created; }
    ~Tracked() override
    {
        ++destroyed;
        alive = false;
    }
    bool alive = true;
};

MM::IRegisteredObject* makeTracked() { return new Tracked(); }
MM::IRegisteredObject* makeOther()
{
    ++otherCalls;
    return new Tracked();
}
MM::IRegisteredObject* makeNull() { return nullptr; }
MM::IRegisteredObject* makeFailure() { throw 42; }

// Whether another thread's registry call was kept waiting while a factory or a
// destructor ran; the call completes once the lock is released.
std::future<void> otherCall;
bool otherCallWaited = false;

void probeTheLock()
{
    otherCall = std::async(std::launch::async, [] { MM::findObject("or.unrelated"); });
    otherCallWaited = otherCall.wait_for(std::chrono::milliseconds(100)) == std::future_status::timeout;
}

MM::IRegisteredObject* makeProbing()
{
    probeTheLock();
    return new Tracked();
}

struct ProbesInDestructor : MM::IRegisteredObject {
    ~ProbesInDestructor() override { probeTheLock(); }
};

MM::IRegisteredObject* makeProbesInDestructor() { return new ProbesInDestructor(); }

// Each test releases what it registers, so the counts start at 0 in a shared process too.
class ObjectRegistry : public ::testing::Test {
protected:
    void SetUp() override { created = destroyed = otherCalls = 0; }
    void TearDown() override { EXPECT_EQ(created, destroyed) << "objects left alive"; }
};

TEST_F(ObjectRegistry, ReferencesAreCountedPerName)
{
    MM::IRegisteredObject* object = MM::registerObject("or.counted", makeTracked);
    EXPECT_EQ(MM::registerObject("or.counted", makeOther), object);
    EXPECT_EQ(otherCalls, 0) << "a registered name's factory ran";
    EXPECT_EQ(MM::findObject("or.counted"), object); // adds no reference
    MM::unregisterObject("or.counted");
    EXPECT_EQ(MM::findObject("or.counted"), object);
    EXPECT_TRUE(static_cast<Tracked*>(object)->alive);
    MM::unregisterObject("or.counted");
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(MM::findObject("or.counted"), nullptr);
    MM::unregisterObject("or.counted"); // once too often: ignored
    MM::unregisterObject("or.never");

    MM::IRegisteredObject* again = MM::registerObject("or.counted", makeOther);
    EXPECT_EQ(otherCalls, 1);
    EXPECT_EQ(MM::findObject("or.counted"), again);
    MM::unregisterObject("or.counted");
}

TEST_F(ObjectRegistry, NamesMatchExactlyAndAreCopied)
{
    char buffer[] = "or.name";
    MM::IRegisteredObject* lower = MM::registerObject(buffer, makeTracked);
    std::strcpy(buffer, "or.Name");
    EXPECT_EQ(MM::findObject(buffer), nullptr);
    EXPECT_EQ(MM::findObject("or.name"), lower);
    for (const char* other : {"or.Name", "or.nam", ""}) {
        EXPECT_NE(MM::registerObject(other, makeTracked), lower);
    }
    EXPECT_EQ(created, 4);
    for (const char* name : {"or.name", "or.Name", "or.nam", ""}) {
        MM::unregisterObject(name);
    }
}

TEST_F(ObjectRegistry, ThrowingFactoryRegistersNothing)
{
    EXPECT_THROW(MM::registerObject("or.throws", makeFailure), int);
    EXPECT_EQ(MM::findObject("or.throws"), nullptr);
    EXPECT_NE(MM::registerObject("or.throws", makeTracked), nullptr);
    MM::unregisterObject("or.throws");
}

TEST_F(ObjectRegistry, NullFromAFactoryIsCountedLikeAnObject)
{
    EXPECT_EQ(MM::registerObject("or.null", makeNull), nullptr);
    EXPECT_EQ(MM::findObject("or.null"), nullptr);
    EXPECT_EQ(MM::registerObject("or.null", makeOther), nullptr);
    EXPECT_EQ(otherCalls, 0) << "a registered name's factory ran";
    MM::unregisterObject("or.null");
    MM::unregisterObject("or.null");
    EXPECT_NE(MM::registerObject("or.null", makeOther), nullptr) << "the last release kept the name";
    MM::unregisterObject("or.null");
}

TEST_F(ObjectRegistry, NullNamesAndFactoriesAreRejected)
{
    EXPECT_THROW(MM::registerObject(nullptr, makeTracked), std::invalid_argument);
    EXPECT_THROW(MM::findObject(nullptr), std::invalid_argument);
    EXPECT_THROW(MM::unregisterObject(nullptr), std::invalid_argument);
    EXPECT_THROW(MM::registerObject("or.nullFactory", nullptr), std::invalid_argument);
    EXPECT_EQ(MM::findObject("or.nullFactory"), nullptr);
    // A registered name's factory is never used: null is fine there.
    MM::IRegisteredObject* object = MM::registerObject("or.nullFactory", makeTracked);
    EXPECT_EQ(MM::registerObject("or.nullFactory", nullptr), object);
    MM::unregisterObject("or.nullFactory");
    MM::unregisterObject("or.nullFactory");
}

TEST_F(ObjectRegistry, OutOfMemoryLeavesTheRegistryAsItWas)
{
    TEV_REQUIRE_ALLOCATION_PROBE();
    const std::string name = "or.oom." + std::string(60, 'n'); // its copy takes memory
    EXPECT_GE(TevTest::failEachAllocationInTurn([&] { MM::registerObject(name.c_str(), makeTracked); },
                                                [&] {
                                                    EXPECT_EQ(MM::findObject(name.c_str()), nullptr);
                                                    EXPECT_EQ(created, destroyed) << "object left behind";
                                                }),
              3);
    // Another reference, a lookup and the releases need no memory.
    EXPECT_EQ(TevTest::failEachAllocationInTurn(
                  [&] {
                      MM::registerObject(name.c_str(), makeTracked);
                      MM::findObject(name.c_str());
                      MM::unregisterObject(name.c_str());
                      MM::unregisterObject(name.c_str());
                  },
                  [] {}),
              0);
}

TEST_F(ObjectRegistry, LockIsHeldWhileAFactoryRunsOrAnObjectIsDestroyed)
{
    MM::registerObject("or.probe", makeProbing);
    otherCall.get();
    EXPECT_TRUE(otherCallWaited) << "the factory ran without the lock";
    MM::unregisterObject("or.probe");

    MM::registerObject("or.probe", makeProbesInDestructor);
    MM::unregisterObject("or.probe");
    otherCall.get();
    EXPECT_TRUE(otherCallWaited) << "the object was destroyed without the lock";
}

TEST_F(ObjectRegistry, ConcurrentUsersNeverSeeADeadObject)
{
    std::atomic<int> deadSeen{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t) {
        workers.emplace_back([&deadSeen] {
            for (int i = 0; i < 2000; ++i) {
                auto* object = static_cast<Tracked*>(MM::registerObject("or.shared", makeTracked));
                deadSeen += object == nullptr || !object->alive;
                MM::unregisterObject("or.shared");
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(deadSeen, 0);
    EXPECT_EQ(MM::findObject("or.shared"), nullptr);
}

TEST(Allocation, BehavesAsTheRuntimeHeap)
{
    auto* bytes = static_cast<char*>(MM::allocate(8));
    ASSERT_NE(bytes, nullptr);
    std::memcpy(bytes, "abcdefg", 8);
    bytes = static_cast<char*>(MM::reallocate(bytes, 1 << 20));
    ASSERT_NE(bytes, nullptr);
    EXPECT_STREQ(bytes, "abcdefg");
    MM::deallocate(bytes);
    void* fresh = MM::reallocate(nullptr, 32);
    EXPECT_NE(fresh, nullptr);
    MM::deallocate(fresh);
    MM::deallocate(nullptr);
}

} // namespace
