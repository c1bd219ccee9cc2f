// The backend "syslog": every logger gets a channel that sends its messages to the
// system log, with the process id, through an spdlog sink shared by all of them, as
// "[Net.Client] retrying in 2 s". Priorities by level: below 20 debug, 20-39 info,
// 40-49 warning, 50-59 err, 60 and above crit.
// Settings, read from the property store when the backend is created, under
// Tev.Backend.Syslog.: Level, FlushLevel (no effect: each line is sent at once) and
// Pattern (see SinkBackend.h), and
//   Ident      the name the lines carry; default the program's name
//   Facility   user (the default), local0 ... local7 or daemon
// A bad setting makes createBackend throw std::invalid_argument naming the property and
// its value; with no system log listening on /dev/log (most containers), where every line
// would go nowhere, it throws std::runtime_error saying so. The system's log connection is
// one per process: keep one syslog backend at a time.

#include "../common/Settings.h"
#include "../common/SinkBackend.h"
#include "../common/SocketListens.h"

#include <spdlog/sinks/syslog_sink.h>

#include <cerrno>
#include <memory>
#include <paths.h>
#include <stdexcept>
#include <string>
#include <syslog.h>

namespace {

using namespace TevBackends;

LoggerBackend* createSyslogBackend()
{
    const std::string prefix = "Tev.Backend.Syslog.";
    refuseUnknownSettings(prefix, {"Level", "FlushLevel", "Pattern", "Ident", "Facility"});
    LineSettings settings =
        lineSettings(prefix, {leastLevel(spdlog::level::trace), leastLevel(spdlog::level::off), "[%n] %v"});
    const std::string ident = textSetting(prefix + "Ident", program_invocation_short_name);
    const int facilities[] = {LOG_USER,   LOG_LOCAL0, LOG_LOCAL1, LOG_LOCAL2, LOG_LOCAL3,
                              LOG_LOCAL4, LOG_LOCAL5, LOG_LOCAL6, LOG_LOCAL7, LOG_DAEMON};
    const int facility =
        facilities[choiceSetting(prefix + "Facility", {"user", "local0", "local1", "local2", "local3", "local4",
                                                       "local5", "local6", "local7", "daemon"})];
    if (!socketListens(_PATH_LOG))
        throw std::runtime_error("No system log listens on " _PATH_LOG
                                 " (no daemon such as rsyslog or systemd-journald runs here): the syslog backend "
                                 "would send every line nowhere");
    auto sink = std::make_shared<spdlog::sinks::syslog_sink_mt>(ident, LOG_PID, facility, true);
    // The system log takes one message per call: no line end.
    return new SinkBackend(std::move(sink), std::move(settings), "");
}

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return createSyslogBackend();
}
