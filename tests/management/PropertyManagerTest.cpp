#include "Tev/Framework/Framework.h"

#include "AllocationProbe.h"

#include <gtest/gtest.h>

#include <clocale>
#include <exception>
#include <new>
#include <string>

namespace {

using Tev::Framework::Framework;
using Tev::Framework::Exceptions::FrameworkException;
using Tev::Framework::Exceptions::UnexistentProperty;

Tev::Framework::Management::PropertyManager& store()
{
    return *Framework::propertyManager();
}

// Longer than a small-string buffer, so copies go to the heap.
std::wstring longText(const wchar_t* stem)
{
    return stem + std::wstring(60, L'.');
}

// The message of what getProperty (or clearProperty) throws for `name`.
std::string failure(const std::wstring& name, bool clear = false)
{
    try {
        try {
            clear ? store().clearProperty(name) : static_cast<void>(store().getProperty(name));
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception&) {
            return "(caught as std::exception)";
        }
    } catch (const UnexistentProperty& error) {
        return error.message();
    }
    return "(no exception)";
}

TEST(PropertyManager, OneStoreForTheWholeProcess)
{
    ASSERT_NE(Framework::propertyManager(), nullptr);
    EXPECT_EQ(Framework::propertyManager(), Framework::propertyManager());
    Framework::propertyManager()->setProperty(L"pm.shared", L"value");
    EXPECT_EQ(Framework::propertyManager()->getProperty(L"pm.shared"), L"value");
}

TEST(PropertyManager, MissingNamesThrowWithExactMessages)
{
    EXPECT_FALSE(store().hasProperty(L"abc"));
    EXPECT_EQ(failure(L"abc"), "Trying to read unexistent property: abc");
    EXPECT_EQ(failure(L"abc", true), "Trying to clear an unexistent property: abc");
    EXPECT_EQ(failure(L""), "Trying to read unexistent property: ");
    EXPECT_EQ(failure(std::wstring(L"ab\0cd", 5)), "Trying to read unexistent property: ab");
    EXPECT_FALSE(store().hasProperty(L"abc")) << "a failed read created the name";
    try {
        store().getProperty(L"abc");
    } catch (const FrameworkException& error) {
        EXPECT_STREQ(error.message(), "Trying to read unexistent property: abc");
    }
}

TEST(PropertyManager, UnencodableNameGivesAnEmptyMessage)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    // No euro sign in the "C" locale (Windows' has the first 256 code points, glibc's ASCII).
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    EXPECT_EQ(failure(L"\u20ac"), "");
    EXPECT_EQ(failure(L"\u20ac", true), "");
    if (std::setlocale(LC_ALL, "C.UTF-8") != nullptr) {
        EXPECT_EQ(failure(L"caf\u00e9"), "Trying to read unexistent property: caf\xc3\xa9");
        EXPECT_EQ(failure(std::wstring(L"x") + static_cast<wchar_t>(0xD800)), ""); // a lone surrogate
    }
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(PropertyManager, SetReplacesAndClearRemoves)
{
    store().setProperty(L"pm.name", L"first");
    store().setProperty(L"pm.name", L"second");
    store().setProperty(L"pm.Name", L"upper");
    store().setProperty(L"pm.nam", L"prefix");
    store().setProperty(L"", L"");
    EXPECT_EQ(store().getProperty(L"pm.name"), L"second");
    EXPECT_EQ(store().getProperty(L"pm.Name"), L"upper");
    EXPECT_EQ(store().getProperty(L"pm.nam"), L"prefix");
    EXPECT_TRUE(store().hasProperty(L""));
    EXPECT_EQ(store().getProperty(L""), L"");

    store().clearProperty(L"pm.name");
    store().clearProperty(L"");
    EXPECT_FALSE(store().hasProperty(L"pm.name"));
    EXPECT_FALSE(store().hasProperty(L""));
    EXPECT_TRUE(store().hasProperty(L"pm.Name"));
    EXPECT_EQ(failure(L"pm.name", true), "Trying to clear an unexistent property: pm.name");
}

TEST(PropertyManager, SetTakesStringsFromTheStoreItself)
{
    store().setProperty(L"pm.self", longText(L"self"));
    store().setProperty(L"pm.self", store().getProperty(L"pm.self"));
    EXPECT_EQ(store().getProperty(L"pm.self"), longText(L"self"));
    // A value naming the very entry it belongs to, which is replaced.
    const std::wstring loop = longText(L"pm.loop");
    store().setProperty(loop, loop);
    store().setProperty(store().getProperty(loop), longText(L"new"));
    EXPECT_EQ(store().getProperty(loop), longText(L"new"));
}

TEST(PropertyManager, OutOfMemoryLeavesTheStoreAsItWas)
{
    TEV_REQUIRE_ALLOCATION_PROBE();
    const std::wstring name = longText(L"pm.oom");
    EXPECT_GE(TevTest::failEachAllocationInTurn([&] { store().setProperty(name, longText(L"one")); },
                                                [&] { EXPECT_FALSE(store().hasProperty(name)); }),
              3);
    TevTest::failEachAllocationInTurn([&] { store().setProperty(name, longText(L"two")); },
                                      [&] { EXPECT_EQ(store().getProperty(name), longText(L"one")); });
    EXPECT_EQ(store().getProperty(name), longText(L"two"));
    store().clearProperty(name);
    // Building the message may run out as well; nothing is created either way.
    TevTest::failEachAllocationInTurn([&] { failure(name); }, [&] { EXPECT_FALSE(store().hasProperty(name)); });
}

} // namespace
