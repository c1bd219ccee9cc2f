#include "Recording.h"

namespace TevTest {

namespace {

using DoLogMember = void (Logger::*)(LoggingLevel, const char*);

DoLogMember doLogMember();

// An explicit instantiation may name a private member; the friend hands it out.
template <DoLogMember member>
struct DoLogAccess {
    friend DoLogMember doLogMember() { return member; }
};
template struct DoLogAccess<&Logger::do_log>;

} // namespace

void doLog(Logger* logger, LoggingLevel level, const char* message)
{
    (logger->*doLogMember())(level, message);
}

} // namespace TevTest
