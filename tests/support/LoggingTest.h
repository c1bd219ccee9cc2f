#ifndef TEV_TESTS_LOGGINGTEST_H
#define TEV_TESTS_LOGGINGTEST_H

#include "RecordingBackend.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace TevTest {

// Gives each test logger names of its own and leaves the logging subsystem as it found
// it: every logger closed and every backend of the test uninstalled.
class LoggingTest : public ::testing::Test {
protected:
    using Logger = Tev::Framework::GenericLogger::Logger;

    void TearDown() override
    {
        Logger::unloadLoggingChannels(true);
        Logger::closeAllLoggers();
        for (const auto& backend : backends_)
            Logger::uninstallBackend(backend.get());
    }

    // A logger name that no other test uses.
    static std::string name(const std::string& suffix = "")
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        return std::string(test->test_suite_name()) + "." + test->name() + suffix;
    }

    static Logger* logger(const std::string& suffix = "") { return Logger::getLogger(name(suffix).c_str()); }

    // A backend owned by the test, not installed.
    RecordingBackend& makeBackend(const std::string& label = "B")
    {
        backends_.push_back(std::make_unique<RecordingBackend>(label, &journal));
        return *backends_.back();
    }

    RecordingBackend& install(const std::string& label = "B")
    {
        RecordingBackend& backend = makeBackend(label);
        Logger::installBackend(&backend);
        return backend;
    }

    Journal journal;

private:
    std::vector<std::unique_ptr<RecordingBackend>> backends_;
};

} // namespace TevTest

#endif
