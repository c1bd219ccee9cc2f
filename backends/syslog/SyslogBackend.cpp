// The backend "syslog": every logger gets a channel that sends its messages to the
// system log (facility user, with the process id), through an spdlog sink shared by
// all of them, as "[Net.Client] retrying in 2 s". Priorities by level: below 20 debug,
// 20-39 info, 40-49 warning, 50-59 err, 60 and above crit.
// Setting, read from the property store when the backend is created:
//   Tev.Backend.Syslog.Ident   the name the lines carry; default the program's name
// An empty ident or one the locale cannot encode makes createBackend throw
// std::invalid_argument naming the property and its value.
// The system's log connection is one per process: keep one syslog backend at a time.

#include "../common/Settings.h"
#include "../common/SinkBackend.h"

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/syslog_sink.h>

#include <cerrno>
#include <memory>
#include <string>
#include <syslog.h>

namespace {

using namespace TevBackends;

constexpr char identProperty[] = "Tev.Backend.Syslog.Ident";

LoggerBackend* createSyslogBackend()
{
    const std::string ident = textSetting(identProperty, program_invocation_short_name);
    auto sink = std::make_shared<spdlog::sinks::syslog_sink_mt>(ident, LOG_PID, LOG_USER, true);
    sink->set_formatter(std::make_unique<spdlog::pattern_formatter>("[%n] %v", spdlog::pattern_time_type::local, ""));
    return new SinkBackend(std::move(sink), spdlog::level::off);
}

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return createSyslogBackend();
}
