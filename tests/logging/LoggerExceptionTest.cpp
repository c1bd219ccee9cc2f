#include "Tev/Framework/GenericLogger/Logger.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>

namespace {

using Tev::Framework::GenericLogger::Logger;
using Tev::Framework::GenericLogger::LoggerBackendLoadError;
using Tev::Framework::GenericLogger::LoggerException;

const std::string loggerFile = "Tev\\Framework\\GenericLogger\\Logger";

LoggerBackendLoadError nullInstallError()
{
    try {
        Logger::installBackend(nullptr);
    } catch (const LoggerBackendLoadError& error) {
        return error;
    }
    ADD_FAILURE() << "installing a null backend did not throw";
    throw std::logic_error("unreachable");
}

TEST(LoggerException, FileAndLineOnlyHasEmptyMessage)
{
    const LoggerException error("some\\file", 7);
    EXPECT_STREQ(error.message(), "");
    EXPECT_STREQ(error.filename(), "some\\file");
    EXPECT_EQ(error.lineNumber(), 7);
    EXPECT_EQ(std::string(error.what()),
              "Exception 'Tev::Framework::GenericLogger::LoggerException' (some\\file:7): ");
}

TEST(LoggerException, WhatNamesTheDynamicTypeFileLineAndMessage)
{
    const LoggerBackendLoadError error = nullInstallError();
    EXPECT_STREQ(error.message(), "Cannot install a NULL backend!");
    EXPECT_EQ(error.filename(), loggerFile);
    EXPECT_EQ(error.lineNumber(), 294);
    const LoggerException& asBase = error;
    EXPECT_EQ(std::string(asBase.what()),
              "Exception 'Tev::Framework::GenericLogger::LoggerBackendLoadError' "
              "(Tev\\Framework\\GenericLogger\\Logger:294): Cannot install a NULL backend!");
}

TEST(LoggerException, NegativeLineKeepsItsSign)
{
    const LoggerException error("m", "f", -12);
    EXPECT_EQ(std::string(error.what()), "Exception 'Tev::Framework::GenericLogger::LoggerException' (f:-12): m");
}

TEST(LoggerException, WhatIsComposedOnceAndTravelsWithCopies)
{
    LoggerException error("message", "file", 3);
    const std::string first = error.what();
    error.lineNumber(8);
    error.filename("other");
    EXPECT_EQ(error.lineNumber(), 8);
    EXPECT_STREQ(error.filename(), "other");
    EXPECT_EQ(error.what(), first);

    const LoggerException copy(error);
    EXPECT_EQ(copy.what(), first);
    EXPECT_STREQ(copy.filename(), "other");

    LoggerException assigned("x", "y", 1);
    assigned = error;
    EXPECT_EQ(assigned.what(), first);
    EXPECT_STREQ(assigned.message(), "message");
    EXPECT_EQ(assigned.lineNumber(), 8);
}

TEST(LoggerException, CopiesAreIndependent)
{
    LoggerException original("message", "file", 1);
    {
        LoggerException copy(original);
        copy.filename("changed");
        copy.lineNumber(2);
    }
    EXPECT_STREQ(original.filename(), "file");
    EXPECT_EQ(original.lineNumber(), 1);
    const LoggerException& self = original;
    original = self;
    EXPECT_STREQ(original.message(), "message");
}

TEST(LoggerException, NullTextsAreEmpty)
{
    const LoggerException error(nullptr, nullptr, 0);
    EXPECT_STREQ(error.message(), "");
    EXPECT_STREQ(error.filename(), "");
}

TEST(LoggerException, LoadErrorIsCaughtAsLoggerExceptionNotAsStdException)
{
    bool caughtAsLoggerException = false;
    try {
        try {
            Logger::installBackend(nullptr);
        } catch (const std::exception&) {
            FAIL() << "caught as std::exception";
        }
    } catch (const LoggerException& error) {
        caughtAsLoggerException = true;
        EXPECT_EQ(error.lineNumber(), 294);
    }
    EXPECT_TRUE(caughtAsLoggerException);
}

} // namespace
