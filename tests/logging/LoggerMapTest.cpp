// The map of loggers by name against std::map, over random changes among 40 names: its
// tables stay small, so that runs of entries often wrap around a table's end.
#include "Tev/Framework/GenericLogger/LoggerRegistry.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Tev::Framework::GenericLogger::Logger;
using Tev::Framework::GenericLogger::LoggerMap;

TEST(LoggerMap, AgreesWithAnOrderedMapOverRandomChanges)
{
    std::mt19937 random(1);
    std::uintptr_t made = 0; // a number of its own stands for each logger made
    for (int run = 0; run < 300; ++run) {
        std::string names[40]; // new ones each run: where their runs of entries fall changes
        for (std::string& name : names)
            name = "logger." + std::to_string(random());
        LoggerMap map;
        std::map<std::string, Logger*> model;
        for (int step = 0; step < 200; ++step) {
            const std::size_t i = random() % std::size(names);
            if (random() % 2 == 0 && model.count(names[i]) == 0)
                map.insert(names[i], model[names[i]] = reinterpret_cast<Logger*>(16 * ++made));
            else if (random() % 2 == 0)
                map.erase(names[i]), model.erase(names[i]);
            else
                map.forget(names[i]), model.erase(names[i]); // out of the look-ups only, until dropForgotten
            for (const std::string& name : names)
                ASSERT_EQ(map.find(name), model.count(name) != 0 ? model[name] : nullptr) << run << " " << step;
            ASSERT_EQ(map.size(), model.size());
        }
        map.dropForgotten();
        std::map<std::string, Logger*> inOrder;
        for (const LoggerMap::Entry& entry : map.inOrder())
            ASSERT_TRUE(inOrder.emplace(entry.name, entry.logger).second &&
                        (inOrder.size() == 1 || inOrder.rbegin()->first == entry.name));
        EXPECT_EQ(inOrder, model);
    }
}

} // namespace
